// The main window of the container and its view.
#include "container/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPrintDialog>
#include <QPrinter>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>

#include "platform/user_prompt.h"
#include "suite/qt/qt_text.h"
#include "terminal/widget/terminal_font.h"

namespace container {

namespace {

using terminal::CellSize;

// The cell the control lays its screen out by. The box-drawing cross alone is not measured: with a
// fractional advance its width rounds up where the screen's cell does not, and the frame would be too wide.
CellSize ScreenCell(const suite::LogFont& font, QWidget* device) {
    return terminal::MeasureCell(terminal::CreateTerminalFont(font, device), device);
}

}  // namespace

QString PlainWindowTitle(std::string_view text) {
    QString title = suite::FromCp1252(text);
    // "[*]" is the modified-state placeholder of a window title; doubled it shows as itself.
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    return title;
}

CBrantorView::CBrantorView(QWidget* parent) : QWidget(parent), m_layout(new QVBoxLayout(this)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
}

void CBrantorView::Embed(QWidget* control) {
    control->setParent(this);
    m_layout->addWidget(control);
}

void CBrantorView::Release(QWidget* control) {
    m_layout->removeWidget(control);
    control->hide();
    control->setParent(nullptr);
}

CQuillet* CBrantorView::ConnectedControl() const {
    return m_app != nullptr ? m_app->ConnectedControl() : nullptr;
}

bool CBrantorView::OnEditCommand(int32_t id) {
    HRESULT (CQuillet::*call)() = nullptr;
    switch (id) {
        case kEditCopyCommand:
            call = &CQuillet::EditCopy;
            break;
        case kEditPasteCommand:
            call = &CQuillet::EditPaste;
            break;
        case kSetFontControlCommand:
            call = &CQuillet::SetFontControl;
            break;
        case kEditCustomMenuCommand:
            call = &CQuillet::EditCustomMenu;
            break;
        default:
            return false;
    }
    if (CQuillet* control = m_app != nullptr ? m_app->Control() : nullptr) {
        (control->*call)();
    }
    return true;
}

void CBrantorView::OnPrint(QPrinter* printer) {
    if (m_app != nullptr && m_app->Control() != nullptr && printer != nullptr) {
        m_app->Control()->Print(printer);
    }
}

void CBrantorView::paintEvent(QPaintEvent* event) {
    // The control takes the focus once, the first time the view is drawn with a session.
    if (!m_focusGiven) {
        if (CQuillet* control = ConnectedControl()) {
            // Set first: the control may draw the view again from inside the call.
            m_focusGiven = true;
            control->VBASetFocus();
        }
    }
    QWidget::paintEvent(event);
}

void CBrantorView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (m_app != nullptr) {
        m_app->SetHasFocus(true);
    }
    if (CQuillet* control = ConnectedControl()) {
        control->Activate();
    }
}

void CBrantorView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (m_app != nullptr) {
        m_app->SetHasFocus(false);
    }
}

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), m_view(new CBrantorView(this)), m_statusBar(new CSBCCustomStatusBar(this)) {
    setCentralWidget(m_view);
    setStatusBar(m_statusBar);
    m_statusBar->Navigation()->SetSender([this](NavButton button) {
        if (m_app != nullptr) {
            SendNavigation(*m_app, button);
        }
    });
    CreateMenus();
    CreateControlToolBar(true);
    CreateSystemToolBar(true);
    const WindowRect rect = ReadWindowSize();
    int width = rect.Width();
    int height = rect.Height();
    if (auto size = StartSizeFromEnvironment()) {
        width = size->first;
        height = size->second;
    }
    resize(width, height);
    setWindowTitle(QStringLiteral("Ostrel"));
    // Alt+F4 is seen before the control's widget gets it, as long as no other window is active.
    QCoreApplication::instance()->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
    ReleaseControl();
}

void CMainFrame::SetApp(CBrantorApp* app) {
    m_app = app;
    m_view->SetApp(app);
}

CQuillet* CMainFrame::ConnectedControl() const {
    return m_app != nullptr ? m_app->ConnectedControl() : nullptr;
}

QAction* CMainFrame::AddCommand(QMenu* menu, int32_t id, const QString& text) {
    auto* action = new QAction(text, this);
    action->setData(id);
    if (menu != nullptr) {
        menu->addAction(action);
    } else {
        // An accelerator without a menu item.
        addAction(action);
    }
    m_commands[id] = action;
    return action;
}

QAction* CMainFrame::CommandAction(int32_t id) const {
    auto it = m_commands.find(id);
    return it != m_commands.end() ? it->second : nullptr;
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* print = AddCommand(file, kFilePrintCommand, QStringLiteral("&Print Screen"));
    print->setShortcut(QKeySequence(Qt::ALT | Qt::Key_P));
    connect(print, &QAction::triggered, this, &CMainFrame::OnFilePrint);
    file->addSeparator();
    connect(AddCommand(file, kAppExitCommand, QStringLiteral("E&xit")), &QAction::triggered, this,
            &QWidget::close);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* statusBar = AddCommand(view, kViewStatusBarCommand, QStringLiteral("&Status Bar"));
    statusBar->setCheckable(true);
    statusBar->setChecked(true);
    connect(statusBar, &QAction::triggered, this, &CMainFrame::OnViewStatusBar);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(AddCommand(help, kHelpContentsCommand, QStringLiteral("&Contents...")), &QAction::triggered, this,
            [this] {
                if (m_app != nullptr) {
                    m_app->OnHelpContents();
                }
            });
    connect(AddCommand(help, kOperatorsGuideCommand, QStringLiteral("&Operator's Guide...")),
            &QAction::triggered, this, [this] {
                if (m_app != nullptr) {
                    m_app->OnOperatorsGuide();
                }
            });
    help->addSeparator();
    connect(AddCommand(help, kAppAboutCommand, QStringLiteral("&About...")), &QAction::triggered, this,
            [this] {
                if (m_app != nullptr) {
                    m_app->OnAppAbout();
                }
            });

    m_ownMenus = {file->menuAction(), view->menuAction(), help->menuAction()};

    // Copy and paste are accelerators of the frame that the view hands to the control.
    QAction* copy = AddCommand(nullptr, kEditCopyCommand, QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    connect(copy, &QAction::triggered, this, [this] { m_view->OnEditCommand(kEditCopyCommand); });
    QAction* paste = AddCommand(nullptr, kEditPasteCommand, QStringLiteral("Paste"));
    paste->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    connect(paste, &QAction::triggered, this, [this] { m_view->OnEditCommand(kEditPasteCommand); });

    // The prompts may come from the control's table, which it can send at any time.
    for (QMenu* menu : {file, view, help}) {
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) {
                    action->setStatusTip(MessageString(action->data().toInt()));
                }
            }
        });
    }
}

QString CMainFrame::MessageString(int32_t id) const {
    if (m_app == nullptr) {
        return QString();
    }
    return suite::FromCp1252(GetMessageString(*m_app, id));
}

int CMainFrame::CreateToolBar(ToolbarId id, bool show) {
    QPointer<CToolBarEx>& slot = m_bars[static_cast<size_t>(id)];
    if (!show) {
        if (slot) {
            removeToolBar(slot);
            // Later, as the bar may be the one whose button is being handled.
            slot->deleteLater();
            slot = nullptr;
        }
        return 0;
    }
    if (slot) {
        return 0;
    }
    auto* bar = new CToolBarEx(Toolbar(id), this);
    connect(bar, &CToolBarEx::Command, this, &CMainFrame::OnToolbarCommand);
    const QPointer<CToolBarEx>& control = m_bars[static_cast<size_t>(ToolbarId::Control)];
    if (id != ToolbarId::Control && control) {
        // The Control bar stays to the right of the bar just shown.
        insertToolBar(control, bar);
    } else {
        addToolBar(Qt::TopToolBarArea, bar);
    }
    bar->show();
    slot = bar;
    return 0;
}

void CMainFrame::OnToolbarCommand(int32_t id) {
    if (m_app != nullptr) {
        container::OnToolbarCommand(*m_app, id);
    }
}

void CMainFrame::OnFilePrint() {
    if (m_app == nullptr || m_app->Control() == nullptr) {
        return;
    }
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) {
        m_view->OnPrint(&printer);
    }
}

void CMainFrame::OnViewStatusBar(bool visible) {
    m_statusBarVisible = visible;
    m_statusBar->setVisible(visible);
    if (QAction* action = CommandAction(kViewStatusBarCommand)) {
        action->setChecked(visible);
    }
    // The control's area changed with the bar.
    NegotiateSize();
}

int CMainFrame::StatusBarHeight() const {
    return m_statusBarVisible ? m_statusBar->sizeHint().height() : 0;
}

void CMainFrame::NegotiateSize() {
    CQuillet* control = ConnectedControl();
    const int cx = width();
    const int cy = height();
    if (control == nullptr || cx <= 0 || cy <= 0 || m_negotiating) {
        return;
    }
    m_negotiating = true;
    const int sb = StatusBarHeight();
    QSize minimum(kMinClientWidth, kMinClientHeight);
    if (!control->MinimumWindowSize(cx - kControlMarginWidth, cy - sb - kControlMarginHeight)) {
        const QSize wanted(control->MinWindowWidth() + kControlMarginWidth,
                           control->MinWindowHeight() + sb + kControlMarginHeight);
        minimum = minimum.expandedTo(wanted);
    }
    // A hint, not a loop: a frame below its minimum grows to it, and no smaller size can be chosen.
    if (minimumSize() != minimum) {
        setMinimumSize(minimum);
    }
    const QSize area = QSize(cx, cy).expandedTo(minimum);
    control->ResizeRequest(area.width() - kControlMarginWidth, area.height() - sb - kControlMarginHeight);
    m_negotiating = false;
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_app != nullptr) {
        m_app->SetZoomed(isMaximized());
    }
    NegotiateSize();
}

bool CMainFrame::CreateControlHost() {
    return m_view != nullptr;
}

bool CMainFrame::EmbedControl(CQuillet& control) {
    std::shared_ptr<void> widget = control.QueryControl(kQuilletWidgetIid);
    if (!widget) {
        return false;
    }
    m_controlWidget = std::static_pointer_cast<QWidget>(widget);
    m_view->Embed(m_controlWidget.get());
    return true;
}

void CMainFrame::ReleaseControl() {
    if (m_controlWidget) {
        m_view->Release(m_controlWidget.get());
        m_controlWidget.reset();
    }
}

void CMainFrame::ShowFrame(bool maximised) {
    if (maximised) {
        showMaximized();
    } else {
        show();
    }
    update();
}

void CMainFrame::ShowControl() {
    if (m_controlWidget) {
        m_controlWidget->show();
        m_controlWidget->setFocus();
    }
}

void CMainFrame::HideControl() {
    if (m_controlWidget) {
        m_controlWidget->hide();
    }
}

void CMainFrame::HideFrame() {
    hide();
}

bool CMainFrame::IsMaximised() const {
    return isMaximized();
}

WindowRect CMainFrame::NormalRect() const {
    QRect normal = normalGeometry();
    if (!normal.isValid()) {
        normal = geometry();
    }
    return WindowRect{normal.left(), normal.top(), normal.left() + normal.width(),
                      normal.top() + normal.height()};
}

WindowRect CMainFrame::CurrentRect() const {
    const QRect frame = frameGeometry();
    return WindowRect{frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}

void CMainFrame::PostClose() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CMainFrame::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CMainFrame::SetTitle(std::string_view title) {
    setWindowTitle(PlainWindowTitle(title));
}

int CMainFrame::SwitchToolbar(int16_t bar) {
    // Which of the four host toolbars shows; the Control bar never switches.
    static constexpr std::array<ToolbarId, 4> kShown = {ToolbarId::System, ToolbarId::MedicalRecords,
                                                        ToolbarId::Appointment, ToolbarId::Mpi};
    if (bar < 0 || bar >= static_cast<int16_t>(kShown.size())) {
        return -1;
    }
    const ToolbarId shown = kShown[static_cast<size_t>(bar)];
    for (ToolbarId other : kShown) {
        if (other != shown) {
            CreateToolBar(other, false);
        }
    }
    return CreateToolBar(shown, true);
}

void CMainFrame::RemoveSystemToolbar() {
    CreateSystemToolBar(false);
}

void CMainFrame::RefreshLayout() {
    if (QLayout* layout = m_view->layout()) {
        layout->activate();
    }
    // The control now sits at its place in the view; the font is fitted to it once, as a resize would.
    NegotiateSize();
}

void CMainFrame::InsertMenus(QMenu& shared, quillet::MenuGroupWidths& widths) {
    shared.addActions(m_ownMenus);
    widths[0] = 1;
    widths[2] = 1;
    widths[4] = 1;
}

void CMainFrame::SetMenu(QMenu* shared) {
    QMenuBar* bar = menuBar();
    for (QAction* action : bar->actions()) {
        bar->removeAction(action);
    }
    bar->addActions(shared != nullptr ? shared->actions() : m_ownMenus);
}

void CMainFrame::RemoveMenus(QMenu& shared) {
    for (QAction* action : m_ownMenus) {
        shared.removeAction(action);
    }
}

void CMainFrame::SetStatusText(std::string_view text) {
    m_statusBar->ShowPaneText(suite::FromCp1252(text));
}

std::optional<bool> CMainFrame::CapsLockOn() const {
    const std::optional<KeyLocks> locks = m_statusBar->Locks()->Current();
    return locks ? std::optional<bool>(locks->caps) : std::nullopt;
}

std::optional<int32_t> CMainFrame::TrackPopupMenu(const PopupMenuData& data) {
    auto* menu = static_cast<QMenu*>(data.menu);
    if (menu == nullptr) {
        return std::nullopt;
    }
    // The control's items show their prompts from its table.
    for (QAction* action : menu->actions()) {
        bool ok = false;
        const int id = action->data().toInt(&ok);
        if (ok && !action->isSeparator() && action->statusTip().isEmpty()) {
            action->setStatusTip(MessageString(id));
        }
    }
    const QMetaObject::Connection prompts = connect(menu, &QMenu::hovered, this, [this](QAction* action) {
        m_statusBar->ShowPaneText(action->statusTip());
    });
    QAction* chosen = menu->exec(QPoint(data.x, data.y));
    disconnect(prompts);
    m_statusBar->ShowPaneText(QString());
    if (chosen == nullptr) {
        return std::nullopt;
    }
    bool ok = false;
    const int id = chosen->data().toInt(&ok);
    if (!ok || id < data.firstId || id > data.lastId) {
        return std::nullopt;
    }
    return id;
}

std::optional<FontChoice> CMainFrame::ChooseFont(const suite::LogFont& start) {
    // The dialog starts from the saved font as the control draws it, without the width it was fitted to.
    suite::LogFont shown = start;
    shown.width = 0;
    const QFont initial = terminal::CreateTerminalFont(shown, m_view);
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, this, QString(), QFontDialog::MonospacedFonts);
    if (!ok) {
        return std::nullopt;
    }
    FontChoice choice;
    choice.font = start;
    choice.font.faceName = suite::ToCp1252(font.family());
    choice.font.weight = static_cast<int32_t>(font.weight());
    choice.pointSizeTenths = static_cast<int32_t>(std::lround(font.pointSizeF() * 10.0));
    // What the dialog chose is a character height; the cell is measured on the font made from it by the
    // control's own rule, so that the saved height and width give the control this very cell.
    suite::LogFont chosen = choice.font;
    chosen.height = -std::max(QFontInfo(font).pixelSize(), 1);
    chosen.width = 0;
    const CellSize cell = ScreenCell(chosen, m_view);
    if (cell.width <= 0 || cell.height <= 0) {
        platform::DefaultPrompt().Message("ResizeRequest() Error creating font!");
        return std::nullopt;
    }
    choice.cellWidth = cell.width;
    choice.cellHeight = cell.height;
    choice.font.height = cell.height;
    choice.font.width = cell.width;
    return choice;
}

void CMainFrame::ResizeForFont() {
    if (m_app == nullptr || !m_app->IsConnected()) {
        return;
    }
    suite::LogFont saved;
    suite::ReadFontSettings(saved);
    // A positive saved height is the cell height and the width counts: the font the control will draw.
    const CellSize cell = ScreenCell(saved, m_view);
    if (cell.width <= 0 || cell.height <= 0) {
        platform::DefaultPrompt().Message("ResizeRequest() Error creating font!");
        return;
    }
    const int width = std::max(cell.width * 80 + kControlMarginWidth, kMinClientWidth);
    const int height =
        std::max(StatusBarHeight() + cell.height * 25 + kControlMarginHeight, kMinClientHeight);
    resize(width, height);
}

void CMainFrame::SetTopmost(bool on) {
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing the flags hides the window.
    if (visible) {
        show();
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && m_app != nullptr) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QWidget* active = QApplication::activeWindow();
        if (key->key() == Qt::Key_F4 && (key->modifiers() & Qt::AltModifier) != 0 &&
            (active == nullptr || active == this)) {
            if (m_app->OnAltF4()) {
                QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                          Qt::QueuedConnection);
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_app != nullptr && !m_app->OnClose()) {
        event->ignore();
        return;
    }
    event->accept();
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (m_app == nullptr) {
        return;
    }
    if (event->type() == QEvent::WindowStateChange) {
        m_app->SetZoomed(isMaximized());
    } else if (event->type() == QEvent::ActivationChange) {
        const bool active = isActiveWindow();
        m_app->SetHasFocus(active);
        if (active) {
            if (CQuillet* control = ConnectedControl()) {
                control->Activate();
            }
        }
    }
}

}  // namespace container
