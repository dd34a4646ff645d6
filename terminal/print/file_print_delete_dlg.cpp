// The keep-or-delete dialog and the print dialog behind the remote print job.
#include "terminal/print/file_print_delete_dlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include "suite/qt/qt_text.h"

namespace terminal {

CFilePrintDeleteDlg::CFilePrintDeleteDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Halvex Carrowline"));

    m_message = new QPlainTextEdit(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setReadOnly(true);

    auto* save = new QPushButton(QStringLiteral("Save File"), this);
    save->setObjectName(QStringLiteral("saveButton"));
    auto* remove = new QPushButton(QStringLiteral("Delete File"), this);
    remove->setObjectName(QStringLiteral("deleteButton"));
    // Keeping the file is the safe answer to a stray Enter.
    save->setDefault(true);
    remove->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(remove);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addLayout(buttons);

    connect(save, &QPushButton::clicked, this, &QDialog::reject);
    connect(remove, &QPushButton::clicked, this, &QDialog::accept);
}

void CFilePrintDeleteDlg::SetMessage(std::string_view message) {
    QString text = suite::FromCp1252(message);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_message->setPlainText(text);
}

QString CFilePrintDeleteDlg::Message() const {
    return m_message->toPlainText();
}

std::optional<std::string> QtPrintJobUi::ChoosePrinter() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return std::nullopt;
    }
    QPrinter printer;
    // The dialog goes with its parent; the guard notices that instead of touching a deleted dialog.
    QPointer<QPrintDialog> dialog = new QPrintDialog(&printer, m_parent.data());
    dialog->setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog->setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    const int result = dialog->exec();
    if (!dialog) {
        return std::nullopt;
    }
    delete dialog.data();
    if (result != QDialog::Accepted || printer.printerName().isEmpty()) {
        return std::nullopt;
    }
    return suite::ToCp1252(printer.printerName());
}

DeleteChoice QtPrintJobUi::OfferDelete(std::string_view message) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return DeleteChoice::NotShown;
    }
    QPointer<CFilePrintDeleteDlg> dialog = new CFilePrintDeleteDlg(m_parent.data());
    dialog->SetMessage(message);
    const int result = dialog->exec();
    if (!dialog) {
        return DeleteChoice::Keep;
    }
    delete dialog.data();
    return result == QDialog::Accepted ? DeleteChoice::Delete : DeleteChoice::Keep;
}

}  // namespace terminal
