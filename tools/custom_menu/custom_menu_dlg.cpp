// The custom menu editor. The list shows the working copy's titles in order; every edit changes the working
// copy first and the list after it, so the two never disagree.
#include "tools/custom_menu/custom_menu_dlg.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "platform/user_prompt.h"
#include "suite/qt/qt_text.h"

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
      m_list(new QListWidget(this)),
      m_moveUp(new QPushButton(QStringLiteral("Move &Up"), this)),
      m_moveDown(new QPushButton(QStringLiteral("Move &Down"), this)),
      m_add(new QPushButton(QStringLiteral("&Add"), this)),
      m_remove(new QPushButton(QStringLiteral("&Remove"), this)),
      m_separator(new QPushButton(QStringLiteral("&Separator"), this)),
      m_title(new QLineEdit(this)),
      m_action(new QLineEdit(this)),
      m_location(new QLineEdit(this)),
      m_browse(new QPushButton(QStringLiteral("&Browse..."), this)),
      m_chooseFile(ChooseMenuFile) {
    setWindowTitle(QStringLiteral("Custom Menu Editor"));
    m_list->setObjectName(QStringLiteral("items"));
    m_moveUp->setObjectName(QStringLiteral("moveUp"));
    m_moveDown->setObjectName(QStringLiteral("moveDown"));
    m_add->setObjectName(QStringLiteral("add"));
    m_remove->setObjectName(QStringLiteral("remove"));
    m_separator->setObjectName(QStringLiteral("separator"));
    m_title->setObjectName(QStringLiteral("title"));
    m_action->setObjectName(QStringLiteral("action"));
    m_location->setObjectName(QStringLiteral("location"));
    m_browse->setObjectName(QStringLiteral("browse"));
    m_title->setMaxLength(kMaxFieldLength);
    m_action->setMaxLength(kMaxFieldLength);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (QPushButton* button : {m_moveUp, m_moveDown, m_add, m_remove, m_separator, m_browse}) {
        button->setAutoDefault(false);
    }

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_moveUp, m_moveDown, m_add, m_remove, m_separator}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(buttons);

    auto* properties = new QGroupBox(QStringLiteral("Properties"), this);
    auto* fields = new QFormLayout(properties);
    fields->addRow(QStringLiteral("&Title:"), m_title);
    fields->addRow(QStringLiteral("A&ction:"), m_action);

    auto* fileGroup = new QGroupBox(QStringLiteral("Custom Menu File"), this);
    auto* fileRow = new QHBoxLayout(fileGroup);
    auto* locationLabel = new QLabel(QStringLiteral("&Location:"), fileGroup);
    locationLabel->setBuddy(m_location);
    fileRow->addWidget(locationLabel);
    fileRow->addWidget(m_location, 1);
    fileRow->addWidget(m_browse);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(properties);
    layout->addWidget(fileGroup);
    layout->addWidget(box);

    connect(m_list, &QListWidget::itemSelectionChanged, this, &CCustomMenuDlg::OnSelectionChanged);
    connect(m_title, &QLineEdit::textEdited, this, &CCustomMenuDlg::OnTitleEdited);
    connect(m_action, &QLineEdit::textEdited, this, &CCustomMenuDlg::OnActionEdited);
    connect(m_add, &QPushButton::clicked, this, &CCustomMenuDlg::OnAdd);
    connect(m_separator, &QPushButton::clicked, this, &CCustomMenuDlg::OnSeparator);
    connect(m_remove, &QPushButton::clicked, this, &CCustomMenuDlg::OnRemove);
    connect(m_moveUp, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_moveDown, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(m_browse, &QPushButton::clicked, this, &CCustomMenuDlg::OnBrowse);
    connect(box, &QDialogButtonBox::accepted, this, &CCustomMenuDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CCustomMenuDlg::reject);

    FillList();
}

void CCustomMenuDlg::SetItems(const practice::CCustomMenuItemArray& items) {
    m_items = items;
    FillList();
}

void CCustomMenuDlg::SetPath(const std::string& path) {
    m_location->setText(QFile::decodeName(QByteArray::fromStdString(path)));
}

std::string CCustomMenuDlg::Path() const {
    return QFile::encodeName(m_location->text()).toStdString();
}

void CCustomMenuDlg::FillList() {
    const QSignalBlocker block(m_list);
    m_list->clear();
    for (const practice::CCustomMenuItem& item : m_items) {
        m_list->addItem(suite::FromCp1252(item.m_Title));
    }
    m_list->setCurrentRow(-1);
    m_list->clearSelection();
    OnSelectionChanged();
}

int CCustomMenuDlg::SelectedRow() const {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.constFirst());
}

void CCustomMenuDlg::Select(int row) {
    if (row < 0 || row >= m_list->count()) {
        m_list->clearSelection();
    } else {
        m_list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    OnSelectionChanged();
}

void CCustomMenuDlg::OnSelectionChanged() {
    const int row = SelectedRow();
    if (row < 0) {
        m_mode = kNothingSelected;
        m_title->clear();
        m_action->clear();
        m_title->setEnabled(false);
        m_action->setEnabled(false);
        m_moveUp->setEnabled(false);
        m_moveDown->setEnabled(false);
        m_remove->setEnabled(false);
        return;
    }
    const practice::CCustomMenuItem& item = m_items[static_cast<size_t>(row)];
    m_mode = item.IsSeparator() ? kSeparatorSelected : kItemSelected;
    m_title->setText(suite::FromCp1252(item.m_Title));
    m_action->setText(suite::FromCp1252(item.m_Action));
    m_title->setEnabled(m_mode == kItemSelected);
    m_action->setEnabled(m_mode == kItemSelected);
    m_remove->setEnabled(true);
    m_moveUp->setEnabled(row > 0);
    m_moveDown->setEnabled(row < m_list->count() - 1);
}

void CCustomMenuDlg::OnTitleEdited(const QString& text) {
    const int row = SelectedRow();
    if (row < 0 || m_mode != kItemSelected) {
        return;
    }
    m_items[static_cast<size_t>(row)].m_Title = suite::ToCp1252(text.left(kMaxFieldLength));
    const QSignalBlocker block(m_list);
    m_list->item(row)->setText(suite::FromCp1252(m_items[static_cast<size_t>(row)].m_Title));
}

void CCustomMenuDlg::OnActionEdited(const QString& text) {
    const int row = SelectedRow();
    if (row < 0 || m_mode != kItemSelected) {
        return;
    }
    m_items[static_cast<size_t>(row)].m_Action = suite::ToCp1252(text.left(kMaxFieldLength));
}

void CCustomMenuDlg::OnAdd() {
    if (m_list->count() >= kMaxItems) {
        platform::DefaultPrompt().Message("The maximum of " + std::to_string(kMaxItems) +
                                          " menu items have been reached.");
        return;
    }
    m_items.Add(practice::CCustomMenuItem("New Menu Item", "New Action", 0));
    m_list->addItem(suite::FromCp1252(m_items[m_items.GetSize() - 1].m_Title));
    Select(m_list->count() - 1);
}

void CCustomMenuDlg::OnSeparator() {
    m_items.Add(practice::CCustomMenuItem(practice::kSeparatorTitle, "", 0));
    m_list->addItem(suite::FromCp1252(practice::kSeparatorTitle));
    Select(m_list->count() - 1);
}

void CCustomMenuDlg::OnRemove() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    practice::CCustomMenuItemArray kept;
    for (size_t i = 0; i < m_items.GetSize(); ++i) {
        if (i != static_cast<size_t>(row)) {
            kept.Add(m_items[i]);
        }
    }
    m_items = std::move(kept);
    {
        const QSignalBlocker block(m_list);
        delete m_list->takeItem(row);
    }
    Select(std::min(row, m_list->count() - 1));
}

void CCustomMenuDlg::OnMove(int step) {
    const int row = SelectedRow();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= m_list->count()) {
        return;
    }
    std::swap(m_items[static_cast<size_t>(row)], m_items[static_cast<size_t>(other)]);
    {
        const QSignalBlocker block(m_list);
        m_list->item(row)->setText(suite::FromCp1252(m_items[static_cast<size_t>(row)].m_Title));
        m_list->item(other)->setText(suite::FromCp1252(m_items[static_cast<size_t>(other)].m_Title));
    }
    Select(other);
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
