#include "selector/small_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/user_prompt.h"
#include "selector/container_start.h"
#include "suite/qt/qt_text.h"
#include "tools/custom_menu/custom_menu_panel.h"

namespace selector {
namespace {

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

}  // namespace

CConfMenuDlg::CConfMenuDlg(const practice::CCustomMenuItemArray& items, QWidget* parent)
    : QDialog(parent),
      m_panel(new tools::CustomMenuPanel({.rules = {}, .chainCommand = true, .addRefused = {}}, this)) {
    setWindowTitle("Custom Menu Editor");
    m_panel->SetItems(items);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_panel);
    layout->addWidget(OkCancel(this));
}

const practice::CCustomMenuItemArray& CConfMenuDlg::Items() const {
    return m_panel->Items();
}

CRunCmdDlg::CRunCmdDlg(QWidget* parent) : QDialog(parent), m_edit(new QLineEdit(this)) {
    setWindowTitle("Run");
    m_edit->setObjectName("command");
    auto* hint = new QLabel(suite::FromCp1252(kRunHint), this);
    auto* label = new QLabel("Command:", this);
    label->setBuddy(m_edit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addWidget(OkCancel(this));
}

void CRunCmdDlg::accept() {
    const RunCheck check = CheckRunCommand(suite::ToCp1252(m_edit->text()));
    if (!check.accepted) {
        // The program's name as the caption.
        platform::DefaultPrompt().Message("The command cannot be empty.", platform::PromptIcon::Exclamation);
        m_edit->setFocus();
        return;
    }
    m_command = check.command;
    m_simple = check.simple;
    QDialog::accept();
}

SelectColumnsDlg::SelectColumnsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Select Columns");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Select the columns to display in the practice selector.", this));
    for (size_t i = 0; i < kChoices.size(); ++i) {
        m_boxes[i] = new QCheckBox(kChoices[i], this);
        layout->addWidget(m_boxes[i]);
    }
    layout->addWidget(OkCancel(this));
}

}  // namespace selector
