// The control's custom menu editor: the shared panel under the control's rules (20 items, 255-character
// fields) and the file the menu is stored in.
#include "tools/custom_menu/custom_menu_dlg.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "platform/user_prompt.h"
#include "tools/custom_menu/custom_menu_panel.h"

namespace tools {

namespace {

std::optional<QString> ChooseMenuFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Save As"), QString(), QStringLiteral("*.cmf"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("cmf"));
    dialog.setNameFilters({QStringLiteral("Custom menu files (*.cmf)"), QStringLiteral("All files (*)")});
    dialog.selectFile(QStringLiteral("*.cmf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

CCustomMenuDlg::CCustomMenuDlg(QWidget* parent)
    : QDialog(parent),
      m_panel(new CustomMenuPanel({.rules = {.maxItems = kMaxItems, .maxFieldLength = kMaxFieldLength},
                                   .chainCommand = false,
                                   .addRefused =
                                       [] {
                                           platform::DefaultPrompt().Message(
                                               "The maximum of " + std::to_string(kMaxItems) +
                                               " menu items have been reached.");
                                       }},
                                  this)),
      m_location(new QLineEdit(this)),
      m_browse(new QPushButton(QStringLiteral("&Browse..."), this)),
      m_chooseFile(ChooseMenuFile) {
    setWindowTitle(QStringLiteral("Custom Menu Editor"));
    m_location->setObjectName(QStringLiteral("location"));
    m_browse->setObjectName(QStringLiteral("browse"));
    m_browse->setAutoDefault(false);

    auto* fileGroup = new QGroupBox(QStringLiteral("Custom Menu File"), this);
    auto* fileRow = new QHBoxLayout(fileGroup);
    auto* locationLabel = new QLabel(QStringLiteral("&Location:"), fileGroup);
    locationLabel->setBuddy(m_location);
    fileRow->addWidget(locationLabel);
    fileRow->addWidget(m_location, 1);
    fileRow->addWidget(m_browse);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_panel);
    layout->addWidget(fileGroup);
    layout->addWidget(box);

    connect(m_browse, &QPushButton::clicked, this, &CCustomMenuDlg::OnBrowse);
    connect(box, &QDialogButtonBox::accepted, this, &CCustomMenuDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CCustomMenuDlg::reject);
}

void CCustomMenuDlg::SetItems(const practice::CCustomMenuItemArray& items) {
    m_panel->SetItems(items);
}

const practice::CCustomMenuItemArray& CCustomMenuDlg::Items() const {
    return m_panel->Items();
}

practice::CCustomMenuEditor::State CCustomMenuDlg::EditMode() const {
    return m_panel->Editor().GetState();
}

void CCustomMenuDlg::SetPath(const std::string& path) {
    m_location->setText(QFile::decodeName(QByteArray::fromStdString(path)));
}

std::string CCustomMenuDlg::Path() const {
    return QFile::encodeName(m_location->text()).toStdString();
}

void CCustomMenuDlg::OnBrowse() {
    if (const std::optional<QString> chosen = m_chooseFile(this)) {
        m_location->setText(*chosen);
    }
}

void CCustomMenuDlg::accept() {
    if (m_location->text().isEmpty()) {
        platform::PromptRequest question;
        question.text =
            "A path must be specified to save the menu configuration.\n\nChoose \"OK\" if you wish to exit "
            "the menu utility.";
        question.icon = platform::PromptIcon::Exclamation;
        question.buttons = platform::PromptButtons::OkCancel;
        if (platform::DefaultPrompt().Show(question) != platform::PromptResult::Ok) {
            return;
        }
    }
    QDialog::accept();
}

}  // namespace tools
