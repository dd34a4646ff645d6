// The control's menus and edit commands. The merged menus live while the control is active in its
// container's frame; the custom menu's entries carry ids 10000 + position, of which 10000-10019 are routed.
#include "terminal/quillet/quillet_menus.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <stdexcept>

#include "platform/automation/dispatch.h"
#include "platform/codepage.h"
#include "platform/user_prompt.h"
#include "suite/qt/qt_text.h"
#include "terminal/control/quillet_session.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/quillet_ctrl_parts.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "tools/custom_menu/custom_file.h"
#include "tools/custom_menu/custom_menu_dlg.h"

namespace terminal {

namespace automation = platform::automation;

namespace {

// Custom items that get a prompt: the table keeps room for the Edit entries and its 0 entry.
constexpr size_t kCustomPrompts = kMaxMenuStrings - kEditPrompts - 1;

QAction* ExecMenu(QMenu& menu, const QPoint& global) {
    return menu.exec(global);
}

bool ExecDialog(tools::CCustomMenuDlg& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

// A status line shows a prompt up to its line break; what follows is the tooltip.
std::string_view StatusLine(std::string_view prompt) {
    return prompt.substr(0, prompt.find('\n'));
}

// The screen's bytes through code page 437, with the line ends of this system's clipboard.
QString ScreenTextForClipboard(std::string_view bytes) {
    QString text;
    size_t start = 0;
    while (true) {
        const size_t end = bytes.find("\r\n", start);
        text += QString::fromStdString(platform::Cp437ToUtf8(bytes.substr(start, end - start)));
        if (end == std::string_view::npos) {
            return text;
        }
        text += QLatin1Char('\n');
        start = end + 2;
    }
}

}  // namespace

// The rubber band of the screen selection, drawn by inverting what lies under it. It lies over the screen
// and lets every click through.
class CSelectionBand : public QWidget {
  public:
    explicit CSelectionBand(QWidget* screen) : QWidget(screen) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }
    void Show(const PixelRect& rect) {
        const QRect band(QPoint(std::min(rect.left, rect.right), std::min(rect.top, rect.bottom)),
                         QPoint(std::max(rect.left, rect.right) - 1, std::max(rect.top, rect.bottom) - 1));
        if (band.isEmpty()) {
            hide();
            return;
        }
        setGeometry(band);
        raise();
        show();
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(rect(), Qt::white);
    }
};

// ---- The prompt table ----

void CMenuStringTable::Clear() {
    m_entries.fill(MenuStringEntry{});
    for (std::string& text : m_texts) {
        text.clear();
    }
}

void CMenuStringTable::Build(const practice::CCustomMenuItemArray& items) {
    Clear();
    size_t next = 0;
    auto add = [&](int32_t id, std::string_view text) {
        m_texts[next] = std::string(text);
        m_entries[next] = MenuStringEntry{id, m_texts[next].c_str()};
        ++next;
    };
    for (size_t i = 0; i < items.GetSize() && i < kCustomPrompts; ++i) {
        add(kPopupFirstId + static_cast<int32_t>(i), items[i].m_Title);
    }
    for (const EditMenuEntry& entry : kEditMenu) {
        if (entry.id != 0) {
            add(entry.id, entry.statusText);
        }
    }
}

size_t CMenuStringTable::Count() const {
    size_t count = 0;
    while (count < m_entries.size() && m_entries[count].id != 0) {
        ++count;
    }
    return count;
}

std::string_view CMenuStringTable::TextOf(int32_t id) const {
    for (size_t i = 0; i < Count(); ++i) {
        if (m_entries[i].id == id) {
            return m_entries[i].text;
        }
    }
    return {};
}

tools::CCustomFile& ModuleCustomFile() {
    static tools::CCustomFile file;
    return file;
}

// ---- The menus ----

CQuilletMenus::CQuilletMenus(CQuilletCtrl& control)
    : m_control(control), m_runMenu(ExecMenu), m_runDialog(ExecDialog) {
    m_customMenu.SetItems({}, kPopupFirstId);
    if (CTerminalWidget* screen = m_control.m_terminal) {
        m_band = new CSelectionBand(screen);
        // Ctrl+Insert and Shift+Insert, from the screen and from the field editor it relays.
        connect(screen, &CTerminalWidget::commandPosted, this, [this](int id) { Command(id); });
    }
    if (CFieldEdit* field = m_control.m_field) {
        connect(field, &CFieldEdit::contextMenuRequested, this,
                [this](const QString& flags, const QPoint& point) { EditorContextMenu(flags, point); });
    }
}

CQuilletMenus::~CQuilletMenus() {
    Remove();
}

void CQuilletMenus::SetUpMenu(int32_t how) {
    if (how == 1) {
        Merge(true);
    } else if (how == 3) {
        Remove();
    }
}

InPlaceFrame* CQuilletMenus::FindFrame() {
    QWidget* window = m_control.Window();
    for (QObject* object = window != nullptr ? window->parent() : nullptr; object != nullptr;
         object = object->parent()) {
        if (auto* frame = qobject_cast<InPlaceFrame*>(object)) {
            m_frameObject = object;
            return frame;
        }
    }
    return nullptr;
}

InPlaceFrame* CQuilletMenus::Frame() const {
    return m_frameObject ? qobject_cast<InPlaceFrame*>(m_frameObject.data()) : nullptr;
}

void CQuilletMenus::BuildPopups() {
    m_customMenu.SetItems(ModuleCustomFile().GetItems(), kPopupFirstId);
    m_customBuilt = true;

    m_customPopup = std::make_unique<QMenu>(QStringLiteral("&Windows"));
    for (const practice::CustomMenuEntry& entry : m_customMenu.GetEntries()) {
        if (entry.separator) {
            m_customPopup->addSeparator();
            continue;
        }
        QAction* action = m_customPopup->addAction(suite::FromCp1252(entry.title));
        action->setData(entry.id);
        // Only the first twenty ids reach the control; an entry past them could never run its command.
        action->setEnabled(entry.id <= kPopupLastId);
        connect(action, &QAction::triggered, this, [this, id = entry.id] { Command(id); });
    }

    m_editPopup = std::make_unique<QMenu>(QStringLiteral("&Edit"));
    for (const EditMenuEntry& entry : kEditMenu) {
        if (entry.id == 0) {
            m_editPopup->addSeparator();
            continue;
        }
        QAction* action = m_editPopup->addAction(QString::fromLatin1(entry.menuText));
        action->setData(entry.id);
        connect(action, &QAction::triggered, this, [this, id = entry.id] { Command(id); });
    }

    for (QMenu* popup : {m_customPopup.get(), m_editPopup.get()}) {
        connect(popup, &QMenu::hovered, this, &CQuilletMenus::ShowPrompt);
        connect(popup, &QMenu::aboutToHide, this, [this] {
            if (InPlaceFrame* frame = Frame()) {
                frame->SetStatusText("Ready");
            }
        });
    }
}

void CQuilletMenus::ShowPrompt(QAction* action) {
    InPlaceFrame* frame = Frame();
    if (frame == nullptr || action == nullptr || action->isSeparator()) {
        return;
    }
    frame->SetStatusText(StatusLine(m_strings.TextOf(action->data().toInt())));
}

void CQuilletMenus::Merge(bool refresh) {
    if (!m_control.InVarnel() || m_merged) {
        return;
    }
    InPlaceFrame* frame = FindFrame();
    if (frame == nullptr) {
        platform::DefaultPrompt().Message("SetUpMenu: Failed to get in place frame.");
        return;
    }
    auto shared = std::make_unique<QMenu>();
    MenuGroupWidths widths{};
    frame->InsertMenus(*shared, widths);

    m_strings.Clear();
    if (refresh) {
        ModuleCustomFile().Load();
    }
    BuildPopups();
    m_strings.Build(m_customMenu.GetItems());
    const automation::Variant args[] = {automation::Variant::Pointer(
        const_cast<MenuStringEntry*>(m_strings.Data()), std::string(kMenuStringEntryTag))};
    m_control.Fire(QuilletEvent::SetMenuStrings, args);

    // Edit after the file group; the custom menu after the file, edit, container and object groups.
    auto insertAt = [&shared](int position, QMenu* popup) {
        const QList<QAction*> bar = shared->actions();
        if (position >= 0 && position < bar.size()) {
            shared->insertMenu(bar[position], popup);
        } else {
            shared->addMenu(popup);
        }
    };
    insertAt(widths[0], m_editPopup.get());
    widths[1] = 1;
    insertAt(widths[0] + widths[1] + widths[2] + widths[3], m_customPopup.get());
    widths[3] = 1;

    m_shared = std::move(shared);
    m_merged = true;
    frame->SetMenu(m_shared.get());
}

void CQuilletMenus::Remove() {
    if (!m_merged) {
        return;
    }
    m_merged = false;
    InPlaceFrame* frame = Frame();
    if (frame != nullptr) {
        frame->SetMenu(nullptr);
    }
    for (QMenu* popup : {m_editPopup.get(), m_customPopup.get()}) {
        if (popup != nullptr) {
            m_shared->removeAction(popup->menuAction());
        }
    }
    if (frame != nullptr) {
        frame->RemoveMenus(*m_shared);
    }
    m_shared.reset();
    m_editPopup.reset();
    m_customPopup.reset();
    m_frameObject.clear();
    m_strings.Clear();
}

// ---- Commands ----

void CQuilletMenus::Command(int32_t id) {
    if (id >= kPopupFirstId && id <= kPopupLastId) {
        try {
            PopupMenuItem(static_cast<int16_t>(id));
        } catch (const automation::DispatchError&) {
            // An entry that is not a command (a separator, or beyond the list) does nothing from a menu.
        }
        return;
    }
    switch (id) {
        case kEditCopyCommand:
            EditCopy();
            break;
        case kEditPasteCommand:
            EditPaste();
            break;
        case kSetFontCommand:
            m_control.Invoke(kSetFontControlDispid, automation::InvokeKind::Method, {}, nullptr, nullptr);
            break;
        case kCustomMenuCommand:
            EditCustomMenu();
            break;
        default:
            break;
    }
}

void CQuilletMenus::PopupMenuItem(int16_t item) {
    if (item < kPopupFirstId || item > kPopupLastId) {
        throw automation::DispatchError(automation::E_INVALIDARG, "popup menu item out of range");
    }
    if (!m_customBuilt) {
        // Chosen before the menus were ever merged: the list as it stands.
        m_customMenu.SetItems(ModuleCustomFile().GetItems(), kPopupFirstId);
        m_customBuilt = true;
    }
    practice::CCustomMenuItem chosen;
    try {
        chosen = m_customMenu.GetItem(item);
    } catch (const std::invalid_argument&) {
        throw automation::DispatchError(automation::E_INVALIDARG,
                                        "no custom menu item " + std::to_string(item));
    }
    if (chosen.IsSeparator()) {
        throw automation::DispatchError(automation::E_INVALIDARG,
                                        "custom menu item " + std::to_string(item) + " is a separator");
    }
    m_control.SendToolbarCommand(chosen.m_Action + "\r");
    m_control.m_forceNewWindow = 1;
}

void CQuilletMenus::CopyScreenSelection() {
    CTerminalWidget* screen = m_control.m_terminal;
    if (screen == nullptr) {
        return;
    }
    const CTerminalScreen& model = screen->Screen();
    const CellSize cell = model.GetCellSize();
    if (cell.width > 0 && cell.height > 0) {
        m_tracker.SetCellSize(cell.width, cell.height);
        m_tracker.SetOrigin(model.CellX(0), model.CellY(0));
    }
    const std::optional<std::string> text = SelectionText(model, m_tracker);
    if (!text) {
        return;
    }
    QApplication::clipboard()->setText(ScreenTextForClipboard(*text));
}

void CQuilletMenus::EditCopy() {
    CFieldEdit* field = m_control.m_field;
    if (m_tracker.IsActive() || m_control.FieldInputInactive() || field == nullptr) {
        CopyScreenSelection();
        return;
    }
    if (field->Model().SelectionStart() != field->Model().SelectionEnd()) {
        QMetaObject::invokeMethod(field, &CFieldEdit::CopyToClipboard, Qt::QueuedConnection);
    }
}

void CQuilletMenus::EditPaste() {
    if (!m_control.FieldInputInactive()) {
        CFieldEdit* field = m_control.m_field;
        if (field != nullptr && field->isVisible()) {
            QMetaObject::invokeMethod(field, &CFieldEdit::PasteFromClipboard, Qt::QueuedConnection);
        }
        return;
    }
    QString text = QApplication::clipboard()->text();
    if (text.isEmpty() || !m_control.m_session->HasPipe()) {
        return;
    }
    // Lines reach the host as the Windows clipboard gave them, each ended by CR LF.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    m_control.m_keySender->WriteChannel0(platform::Utf8ToCp437(text.toStdString()));
}

void CQuilletMenus::EditCustomMenu() {
    if (!m_control.InVarnel() || m_control.Window() == nullptr) {
        return;
    }
    // The dialog runs its own event loop, in which a container may let go of the control or delete its
    // window (and the dialog with it).
    std::shared_ptr<automation::IDispatch> keepAlive = m_control.weak_from_this().lock();
    tools::CCustomFile& file = ModuleCustomFile();
    std::string path;
    tools::CCustomFile::GetConfigFilePath(path);
    QPointer<tools::CCustomMenuDlg> dialog = new tools::CCustomMenuDlg(m_control.Window());
    dialog->SetItems(file.GetItems());
    dialog->SetPath(path);
    const bool accepted = m_runDialog(*dialog) && dialog;
    if (accepted) {
        file.SetItems(dialog->Items());
        path = dialog->Path();
        if (!path.empty()) {
            tools::CCustomFile::SetConfigFilePath(path);
            // Saved where the user chose, even when the registry could not record it.
            std::string error;
            if (!file.SaveFile(path, error)) {
                platform::DefaultPrompt().Message("Failed to save menu configuration file to " + path);
            }
        }
    }
    delete dialog.data();
    // The list in memory is the one just edited: a list the user chose not to save stays for this session.
    Remove();
    if (m_control.Window() != nullptr) {
        Merge(false);
    }
    ReleaseAfterCall(std::move(keepAlive));
}

void CQuilletMenus::RightButtonUp(const QPoint& global) {
    if (!m_merged || !m_control.InVarnel() || m_customPopup == nullptr) {
        return;
    }
    // A menu of its own for the container to track: choosing from it must reach the control only through
    // the container's PopupMenuItem call, not through the menu bar's actions as well.
    QMenu popup;
    for (QAction* entry : m_customPopup->actions()) {
        if (entry->isSeparator()) {
            popup.addSeparator();
            continue;
        }
        QAction* action = popup.addAction(entry->text());
        action->setData(entry->data());
        action->setEnabled(entry->isEnabled());
    }
    PopupMenuData data;
    data.menu = &popup;
    data.flags = 0;
    data.x = global.x();
    data.y = global.y();
    data.controlWindow = m_control.Window();
    data.firstId = kPopupFirstId;
    data.lastId = kPopupLastId;
    const automation::Variant args[] = {automation::Variant::Pointer(&data, std::string(kPopupMenuDataTag))};
    m_control.Fire(QuilletEvent::PopupMenu, args);
    if (InPlaceFrame* frame = Frame()) {
        frame->SetStatusText("Ready");
    }
}

void CQuilletMenus::EditorContextMenu(const QString& flags, const QPoint& point) {
    CFieldEdit* field = m_control.m_field;
    CTerminalWidget* screen = m_control.m_terminal;
    if (flags.size() < 6 || field == nullptr || screen == nullptr) {
        return;
    }
    static constexpr std::pair<int32_t, const char*> kItems[] = {
        {kEditorUndoCommand, "&Undo"},     {kEditorCutCommand, "Cu&t"},
        {kEditorCopyCommand, "&Copy"},     {kEditorPasteCommand, "&Paste"},
        {kEditorDeleteCommand, "&Delete"}, {kEditorSelectAllCommand, "Select &All"},
    };
    QMenu menu;
    for (const auto& [id, text] : kItems) {
        if (id == kEditorCutCommand) {
            menu.addSeparator();
        } else if (id == kEditorSelectAllCommand) {
            menu.addSeparator();
        }
        QAction* action = menu.addAction(QString::fromLatin1(text));
        action->setData(id);
        if (id != kEditorUndoCommand) {
            action->setEnabled(flags[id - kEditorUndoCommand] == QLatin1Char('1'));
        }
    }
    QAction* chosen = m_runMenu(menu, screen->mapToGlobal(point));
    if (chosen == nullptr || !chosen->isEnabled()) {
        return;
    }
    CInkeyCtrl& model = field->Model();
    switch (chosen->data().toInt()) {
        case kEditorUndoCommand:
            model.Undo();
            break;
        case kEditorCutCommand:
            field->CutToClipboard();
            break;
        case kEditorCopyCommand:
            field->CopyToClipboard();
            break;
        case kEditorPasteCommand:
            field->PasteFromClipboard();
            break;
        case kEditorDeleteCommand:
            model.Clear();
            break;
        case kEditorSelectAllCommand:
            model.SelectAll();
            break;
        default:
            break;
    }
    field->SyncFromModel();
}

void CQuilletMenus::ClearSelection() {
    m_tracker.ClearSelection();
    if (m_band) {
        m_band->hide();
    }
}

void CQuilletMenus::TrackMouse(const QMouseEvent& mouse) {
    CTerminalWidget* screen = m_control.m_terminal;
    if (screen == nullptr) {
        return;
    }
    const QPoint at = mouse.position().toPoint();
    switch (mouse.type()) {
        case QEvent::MouseButtonPress: {
            ClearSelection();
            if (!m_control.m_session->HasPipe()) {
                return;
            }
            const CTerminalScreen& model = screen->Screen();
            const CellSize cell = model.GetCellSize();
            m_tracker.SetCellSize(cell.width, cell.height);
            m_tracker.SetOrigin(model.CellX(0), model.CellY(0));
            m_dragging = m_tracker.Track(at.x(), at.y());
            break;
        }
        case QEvent::MouseMove:
            if (m_dragging && m_band) {
                static_cast<CSelectionBand*>(m_band.data())->Show(m_tracker.Adjust(at.x(), at.y()));
            }
            break;
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            if (!m_tracker.EndTrack() && m_band) {
                m_band->hide();
            }
            break;
        default:
            break;
    }
}

void CQuilletMenus::ScreenMouse(const QMouseEvent& mouse) {
    const QEvent::Type type = mouse.type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) {
        return;
    }
    if (mouse.button() == Qt::LeftButton ||
        (type == QEvent::MouseMove && (mouse.buttons() & Qt::LeftButton))) {
        TrackMouse(mouse);
    } else if (type == QEvent::MouseButtonRelease && mouse.button() == Qt::RightButton) {
        const QPoint global = mouse.globalPosition().toPoint();
        // After the release has been handled, as the menu runs its own event loop.
        QMetaObject::invokeMethod(
            this, [this, global] { RightButtonUp(global); }, Qt::QueuedConnection);
    }
}

}  // namespace terminal
