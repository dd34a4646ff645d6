// The selector's main window over the toolkit-free list, store and start models.

#include "selector/korrin_dlg.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include "selector/practice_sheet.h"
#include "selector/small_dialogs.h"
#include "suite/qt/qt_text.h"

namespace selector {
namespace {

constexpr const char* kTitle = "Practice Selector";

QString Q(std::string_view text) {
    return suite::FromCp1252(text);
}

}  // namespace

int PracticeTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_list.RowCount());
}

int PracticeTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant PracticeTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= m_list.RowCount())
        return {};
    if (role == Qt::DisplayRole)
        return Q(m_list.Text(static_cast<size_t>(index.row()), index.column()));
    if (role == Qt::DecorationRole && index.column() == 0)
        return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    return {};
}

QVariant PracticeTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QString::fromLatin1(ColumnTitle(section));
    return {};
}

CKorrinDlg::CKorrinDlg(std::optional<std::filesystem::path> named, bool adminAllowed, Spawner& spawner,
                       QWidget* parent)
    : QDialog(parent), m_spawner(spawner), m_adminAllowed(adminAllowed) {
    setWindowTitle("Halvex Carrowline Practice Selector");
    setSizeGripEnabled(true);
    m_charWidth = std::max(1, QFontMetrics(font()).averageCharWidth());

    m_model = new PracticeTableModel(m_list, this);
    m_listView = new QListView;
    m_listView->setModel(m_model);
    m_listView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_treeView = new QTreeView;
    m_treeView->setModel(m_model);
    m_treeView->setRootIsDecorated(false);
    m_treeView->setItemsExpandable(false);
    m_treeView->setUniformRowHeights(true);
    m_treeView->setSelectionModel(m_listView->selectionModel());
    m_treeView->header()->setSectionsMovable(true);
    m_treeView->header()->setSectionsClickable(true);
    m_treeView->header()->setSortIndicatorShown(true);
    m_treeView->header()->setStretchLastSection(false);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_listView), static_cast<QAbstractItemView*>(m_treeView)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { ContextMenu(view->viewport()->mapToGlobal(pos)); });
        connect(view, &QAbstractItemView::doubleClicked, this, [this] {
            if (SelectedRow() >= 0)
                Connect(std::nullopt, 0);
        });
    }
    m_stack = new QStackedWidget;
    m_stack->addWidget(m_listView);
    m_stack->addWidget(m_treeView);

    auto* connectButton = new QPushButton("&Connect");
    connectButton->setAutoDefault(false);
    connect(connectButton, &QPushButton::clicked, this, [this] { Connect(std::nullopt, 0); });
    m_showAll = new QCheckBox("&Show All");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(connectButton);
    buttons->addWidget(m_showAll);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stack);
    layout->addLayout(buttons);

    BuildMenus();
    layout->setMenuBar(m_menuBar);

    std::string message;
    if (!m_store.Load(named, message) || !message.empty())
        QMessageBox::warning(this, kTitle, Q(message));
    m_practices = m_store.Practices();
    ApplySettings();
    InstallCustomMenu();
    Refill();

    // Connected after the stored settings are applied, so applying them marks nothing dirty.
    QHeaderView* header = m_treeView->header();
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        m_model->Change([&] { m_list.ClickColumn(column); });
        m_treeView->header()->setSortIndicator(
            m_list.SortColumn(), m_list.SortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
        m_viewDirty = true;
    });
    connect(header, &QHeaderView::sectionMoved, this, [this] { m_viewDirty = true; });
    connect(header, &QHeaderView::sectionResized, this, [this] { m_viewDirty = true; });
    connect(m_showAll, &QCheckBox::toggled, this, [this](bool checked) {
        m_model->Change([&] { m_list.SetShowAll(checked); });
        m_viewDirty = true;
    });
    resize(100 * m_charWidth, 30 * m_charWidth);
}

void CKorrinDlg::BuildMenus() {
    m_menuBar = new QMenuBar(this);
    QMenu* file = m_menuBar->addMenu("&File");
    file->addAction("&Connect", this, [this] { Connect(std::nullopt, 0); });
    file->addSeparator();
    file->addAction("E&xit", this, &QDialog::reject);

    QMenu* edit = m_menuBar->addMenu("&Edit");
    m_add = edit->addAction("&Add Practice", this, &CKorrinDlg::AddPractice);
    m_delete = edit->addAction("&Delete Practice", this, &CKorrinDlg::DeletePractice);
    m_modify = edit->addAction("&Modify Practice", this, &CKorrinDlg::ModifyPractice);
    edit->addSeparator();
    edit->addAction("&Command Menu", this, &CKorrinDlg::EditCustomMenu);
    connect(edit, &QMenu::aboutToShow, this, &CKorrinDlg::UpdateEnabled);

    QMenu* view = m_menuBar->addMenu("&View");
    m_styles = new QActionGroup(this);
    const std::pair<const char*, int32_t> styles[] = {
        {"&Large Icons", 0}, {"&Small Icons", 2}, {"&List", 3}, {"&Details", 1}};
    for (const auto& [text, style] : styles) {
        QAction* action = view->addAction(text);
        action->setCheckable(true);
        action->setData(style);
        m_styles->addAction(action);
        connect(action, &QAction::triggered, this, [this, style] {
            SetStyle(style);
            m_viewDirty = true;
        });
    }

    m_runMenu = new QMenu("&Run", this);
    m_runMenuAction = m_menuBar->addMenu(m_runMenu);
    connect(m_runMenu, &QMenu::aboutToShow, this, &CKorrinDlg::UpdateEnabled);

    QMenu* help = m_menuBar->addMenu("&Help");
    help->addAction("&About Korrin", this, [this] {
        CAboutDlg about(this);
        about.exec();
    });

    m_adminMenu = new QMenu("Administration", this);
    for (const AdminCommand& admin : kAdminCommands) {
        if (admin.id == 32800 || admin.id == 32802)
            m_adminMenu->addSeparator();
        m_adminMenu->addAction(admin.text, this, [this, admin] {
            if (admin.simple)
                m_simpleStart = true;
            Connect(std::string(admin.command), 1);
        });
    }
    m_adminMenu->addSeparator();
    m_adminMenu->addAction("Run...", this, &CKorrinDlg::RunDialog);
}

void CKorrinDlg::InstallCustomMenu() {
    if (m_customMenu.GetItemCount() == 0)
        AddDefaultCustomMenu(m_customMenu);
    m_runMenu->clear();
    for (size_t i = 0; i < m_customMenu.GetItemCount(); ++i) {
        const practice::CCustomMenuItem item = m_customMenu.GetItems()[i];
        if (item.IsSeparator()) {
            m_runMenu->addSeparator();
            continue;
        }
        m_runMenu->addAction(Q(item.m_Title), this, [this, item] {
            m_simpleStart = true;
            Connect(item.m_Action, item.m_RunCommand);
        });
    }
}

void CKorrinDlg::EditCustomMenu() {
    CConfMenuDlg editor(m_customMenu.GetItems(), this);
    if (editor.exec() == QDialog::Accepted)
        ApplyCustomMenu(editor.Items());
}

void CKorrinDlg::ApplyCustomMenu(const practice::CCustomMenuItemArray& items) {
    m_customMenu.SetItems(items, practice::kCustomMenuFirstId);
    InstallCustomMenu();
    Save();
}

void CKorrinDlg::ApplySettings() {
    const ViewState state = ApplySelInfo(m_store.SelInfo(), m_charWidth);
    m_customMenu = m_store.SelInfo().GetCustomMenu();
    QHeaderView* header = m_treeView->header();
    for (int visual = 0; visual < kColumns; ++visual)
        header->moveSection(header->visualIndex(state.order[visual]), visual);
    for (int column = 0; column < kColumns; ++column)
        header->resizeSection(column, state.widths[column]);
    SetStyle(state.style);
}

ViewState CKorrinDlg::CurrentViewState() const {
    ViewState state;
    state.style = m_style;
    const QHeaderView* header = m_treeView->header();
    for (int visual = 0; visual < kColumns; ++visual)
        state.order[visual] = header->logicalIndex(visual);
    for (int column = 0; column < kColumns; ++column)
        state.widths[column] = header->sectionSize(column);
    return state;
}

void CKorrinDlg::SetStyle(int32_t style) {
    m_style = style & 3;
    for (QAction* action : m_styles->actions())
        action->setChecked(action->data().toInt() == m_style);
    if (m_style == 1) {
        m_stack->setCurrentWidget(m_treeView);
        return;
    }
    m_stack->setCurrentWidget(m_listView);
    const bool large = m_style == 0;
    m_listView->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_listView->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    m_listView->setFlow(m_style == 3 ? QListView::TopToBottom : QListView::LeftToRight);
    m_listView->setWrapping(true);
    m_listView->setResizeMode(QListView::Adjust);
}

void CKorrinDlg::Refill() {
    m_model->Change([&] {
        m_list.SetShowAll(m_showAll->isChecked());
        m_list.Refill();
    });
}

int CKorrinDlg::SelectedRow() const {
    const QModelIndexList rows = m_listView->selectionModel()->selectedRows();
    int best = -1;
    for (const QModelIndex& index : rows)
        if (best < 0 || index.row() < best)
            best = index.row();
    if (best < 0 && m_listView->selectionModel()->hasSelection())
        best = m_listView->selectionModel()->selectedIndexes().front().row();
    return best;
}

void CKorrinDlg::SelectRow(int row) {
    m_listView->selectionModel()->select(m_model->index(row, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CKorrinDlg::UpdateEnabled() {
    const bool selected = SelectedRow() >= 0;
    m_delete->setEnabled(selected);
    m_modify->setEnabled(selected);
    for (QAction* action : m_runMenu->actions())
        action->setEnabled(selected);
}

void CKorrinDlg::Connect(std::optional<std::string> command, int32_t runCommand) {
    const int row = SelectedRow();
    const practice::CPractice* selected = row >= 0 ? &m_list.At(static_cast<size_t>(row)) : nullptr;
    StartResult result = StartContainer(selected, {std::move(command), runCommand}, m_simpleStart, m_spawner);
    if (result.outcome == StartOutcome::Started)
        return;
    QMessageBox box(result.stopIcon ? QMessageBox::Critical : QMessageBox::Warning,
                    result.outcome == StartOutcome::NoSelection ? QApplication::applicationName() : kTitle,
                    Q(result.message), QMessageBox::Ok, this);
    box.exec();
}

void CKorrinDlg::RunDialog() {
    CRunCmdDlg run(this);
    if (run.exec() != QDialog::Accepted)
        return;
    m_simpleStart = run.Simple();
    Connect(run.Command(), 1);
}

void CKorrinDlg::DeletePractice() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    if (QMessageBox::warning(this, kTitle,
                             "You have chosen to delete this\npractice, would you like to proceed?",
                             QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const size_t index = m_list.PracticeIndex(static_cast<size_t>(row));
    if (index >= m_practices.size()) {
        QMessageBox::warning(this, kTitle, "Unable to delete practice, practice file may be corrupt.");
        return;
    }
    m_model->Change([&] {
        m_practices.erase(m_practices.begin() + static_cast<std::ptrdiff_t>(index));
        m_list.Refill();
    });
    Save();
}

void CKorrinDlg::AddPractice() {
    CPracticeSheet sheet(practice::CPractice(), this);
    if (sheet.exec() != QDialog::Accepted)
        return;
    m_model->Change([&] {
        m_practices.push_back(sheet.Practice());
        m_list.Refill();
    });
    Save();
}

void CKorrinDlg::ModifyPractice() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    const size_t index = m_list.PracticeIndex(static_cast<size_t>(row));
    CPracticeSheet sheet(m_practices[index], this);
    if (sheet.exec() != QDialog::Accepted)
        return;
    m_model->Change([&] {
        m_practices[index] = sheet.Practice();
        m_list.Refill();
    });
    Save();
}

void CKorrinDlg::ContextMenu(const QPoint& pos) {
    QMenu menu(this);
    menu.addMenu(m_runMenu);
    if (m_adminAllowed)
        menu.addMenu(m_adminMenu);
    menu.addSeparator();
    menu.addAction(m_modify);
    menu.addAction(m_delete);
    menu.addAction(m_add);
    UpdateEnabled();
    menu.exec(pos);
}

void CKorrinDlg::Save() {
    practice::CPracSelInfo info = m_store.SelInfo();
    ReadViewState(CurrentViewState(), m_charWidth, info);
    info.GetCustomMenu() = m_customMenu;
    std::string message;
    SaveOutcome outcome = m_store.Save(m_practices, info, false, message);
    if (outcome == SaveOutcome::NeedsConsent &&
        QMessageBox::question(this, kTitle, Q(message), QMessageBox::Yes | QMessageBox::No) ==
            QMessageBox::Yes)
        outcome = m_store.Save(m_practices, info, true, message);
    else if (outcome == SaveOutcome::NeedsConsent)
        return;
    if (outcome == SaveOutcome::Saved)
        return;
    QMessageBox::warning(this, kTitle, Q(message));
    if (outcome == SaveOutcome::ChangedOnDisk)
        Reload();
}

void CKorrinDlg::Reload() {
    std::string message;
    // What the other program left may not load, and an empty list must not look like its contents.
    if (!m_store.Load(m_store.Source(), message) || !message.empty())
        QMessageBox::warning(this, kTitle, Q(message));
    m_model->Change([&] {
        m_practices = m_store.Practices();
        m_list.Refill();
    });
}

void CKorrinDlg::done(int result) {
    if (m_viewDirty) {
        m_viewDirty = false;
        Save();
    }
    QDialog::done(result);
}

}  // namespace selector
