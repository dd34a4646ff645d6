// The print job's dialogs on Qt: the keep-or-delete dialog for a file that may not have printed, and the
// print dialog that picks a printer.
#pragma once

#include <QDialog>
#include <QPointer>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/print/remote_print_job.h"

class QPlainTextEdit;
class QPushButton;

namespace terminal {

// "Delete File" closes it with Accepted, "Save File" (and closing it) with Rejected.
class CFilePrintDeleteDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CFilePrintDeleteDlg(QWidget* parent = nullptr);

    // The message (8-bit text, lines broken by "\r\n").
    void SetMessage(std::string_view message);
    QString Message() const;

  private:
    QPlainTextEdit* m_message = nullptr;
};

class QtPrintJobUi : public PrintJobUi {
  public:
    // Dialogs open over `parent` while it is there.
    explicit QtPrintJobUi(QWidget* parent = nullptr) : m_parent(parent) {}

    std::optional<std::string> ChoosePrinter() override;
    DeleteChoice OfferDelete(std::string_view message) override;

  private:
    QPointer<QWidget> m_parent;
};

}  // namespace terminal
