// The viewer's window and its dialogs.
#include "viewer/qt/lumetra_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "suite/qt/about_box.h"
#include "suite/qt/qt_text.h"
#include "viewer/display/save_copy.h"
#include "viewer/qt/x11_activate.h"

namespace viewer {

CApproveDlg::CApproveDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Approve"));
    setObjectName(QStringLiteral("Approve"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Enter your password to approve the document."), this));
    auto* row = new QGridLayout();
    row->addWidget(new QLabel(QStringLiteral("Password:"), this), 0, 0);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("password"));
    m_edit->setEchoMode(QLineEdit::Password);
    row->addWidget(m_edit, 0, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_edit->setFocus();
}

QString CApproveDlg::Password() const {
    return m_edit->text();
}

CMainFrame::CMainFrame(LumetraLog log, platform::Registry& registry)
    : m_log(std::move(log)), m_registry(registry) {
    setWindowTitle(QStringLiteral("Lumetra"));
    const display::WindowPlacement placement = StoredPlacement();
    const display::WindowRect& normal = placement.normal;
    setGeometry(normal.left, normal.top, normal.Width(), normal.Height());
    if (placement.maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);  // takes effect when the window is shown
    }
    m_view = new CLumetraView(m_log,
                              {[this](const std::string& title) { SetTitle(title); },
                               [this](const std::string& text) { ShowStop(text); }},
                              {}, {}, this);
    setCentralWidget(m_view);
    struct ViewItem {
        QMenu* menu;
        ViewCommand command;
        const char* text;
        QKeySequence shortcut;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QMenu* modes = menuBar()->addMenu(QStringLiteral("&View"));
    const ViewItem items[] = {
        {file, ViewCommand::Print, "&Print...", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {file, ViewCommand::PrintSetup, "P&rint Setup...", {}},
        {edit, ViewCommand::Copy, "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {modes, ViewCommand::DraftMode, "&Draft Mode", {}},
        {modes, ViewCommand::NormalMode, "&Normal Mode", {}},
        {modes, ViewCommand::PreviewMode, "&Preview Mode", {}},
    };
    for (const ViewItem& item : items) {
        QAction* action = item.menu->addAction(QString::fromUtf8(item.text));
        action->setShortcut(item.shortcut);
        action->setCheckable(item.menu == modes);
        connect(action, &QAction::triggered, this, [this, command = item.command] {
            m_view->RunCommand(command);
            UpdateViewCommands();
        });
        m_viewCommands[item.command] = action;
    }
    m_saveAs = new QAction(QStringLiteral("&Save As..."), this);
    m_saveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    file->insertAction(file->actions().value(0), m_saveAs);
    connect(m_saveAs, &QAction::triggered, this, [this] { OnFileSaveAs(); });
    for (QMenu* menu : {file, edit, modes}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateViewCommands(); });
    }
    m_printViaWord = file->addAction(QStringLiteral("Print via Microsoft &Word..."));
    m_printViaWord->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(m_printViaWord, &QAction::triggered, this, [this] {
        if (m_doc && m_printViaWord->isEnabled()) {
            m_doc->PrintViaWordProcessor(m_view->TempDocPath());
        }
    });
    // File Open keeps its accelerator but has nothing to open: the client names every document.
    m_fileOpen = new QAction(QStringLiteral("&Open..."), this);
    m_fileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    addAction(m_fileOpen);
    UpdateViewCommands();
    QMenu* document = menuBar()->addMenu(QStringLiteral("&Document"));
    const std::pair<Verdict, const char*> commands[] = {{Verdict::Accept, "&Approve"},
                                                        {Verdict::Reject, "&Reject"},
                                                        {Verdict::Back, "&Previous"},
                                                        {Verdict::Next, "&Next"},
                                                        {Verdict::Edit, "&Edit"}};
    for (const auto& [verdict, text] : commands) {
        QAction* action = document->addAction(QString::fromUtf8(text));
        action->setEnabled(false);
        connect(action, &QAction::triggered, this, [this, verdict = verdict] {
            if (m_doc) {
                m_doc->OnCommand(verdict);
            }
        });
        m_commands[verdict] = action;
    }
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_about = help->addAction(QStringLiteral("&About Lumetra..."));
    connect(m_about, &QAction::triggered, this, [this] { ShowAbout(); });
    MakeToolBar();
    MakeStatusBar();
}

void CMainFrame::MakeToolBar() {
    m_toolBar = addToolBar(QStringLiteral("Standard"));
    m_toolBar->setObjectName(QStringLiteral("toolbar128"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    struct Button {
        QAction* action;
        const char* tip;     // the tool tip
        const char* prompt;  // the fly-by help in the status bar
        const char* theme;
        QStyle::StandardPixmap fallback;
    };
    const Button buttons[] = {
        {m_viewCommands.at(ViewCommand::Print), "Print", "Print the shown document", "document-print",
         QStyle::SP_FileIcon},
        {m_viewCommands.at(ViewCommand::Copy), "Copy", "Copy the selection to the clipboard", "edit-copy",
         QStyle::SP_FileLinkIcon},
        {nullptr, nullptr, nullptr, nullptr, {}},
        {m_commands.at(Verdict::Back), "Previous", "Go to the previous document", "go-previous",
         QStyle::SP_ArrowBack},
        {m_commands.at(Verdict::Next), "Next", "Go to the next document", "go-next", QStyle::SP_ArrowForward},
        {m_commands.at(Verdict::Accept), "Approve", "Approve the document", "dialog-ok",
         QStyle::SP_DialogApplyButton},
        {m_commands.at(Verdict::Reject), "Reject", "Reject the document", "dialog-cancel",
         QStyle::SP_DialogCancelButton},
        {m_commands.at(Verdict::Edit), "Edit", "Edit the document in the word processor", "document-edit",
         QStyle::SP_FileDialogContentsView},
        {nullptr, nullptr, nullptr, nullptr, {}},
        {m_about, "About", "Show the program's version and log file", "help-about",
         QStyle::SP_MessageBoxInformation},
    };
    for (const Button& button : buttons) {
        if (!button.action) {
            m_toolBar->addSeparator();
            continue;
        }
        button.action->setToolTip(QString::fromUtf8(button.tip));
        button.action->setStatusTip(QString::fromUtf8(button.prompt));
        button.action->setIcon(
            QIcon::fromTheme(QString::fromUtf8(button.theme), style()->standardIcon(button.fallback)));
        m_toolBar->addAction(button.action);
    }
    // The other commands' fly-by help; their menu items show it as the pointer passes.
    const std::pair<QAction*, const char*> prompts[] = {
        {m_saveAs, "Save the shown document and its stylesheet under another name"},
        {m_viewCommands.at(ViewCommand::PrintSetup), "Change the printer and its options"},
        {m_printViaWord, "Print the shown document through the word processor"},
        {m_viewCommands.at(ViewCommand::DraftMode), "Show the document in draft mode"},
        {m_viewCommands.at(ViewCommand::NormalMode), "Show the document in normal mode"},
        {m_viewCommands.at(ViewCommand::PreviewMode), "Show the document as it prints"},
    };
    for (const auto& [action, prompt] : prompts) {
        action->setStatusTip(QString::fromUtf8(prompt));
    }
}

void CMainFrame::MakeStatusBar() {
    // The message line shows "Ready" whenever no fly-by help covers it.
    auto* ready = new QLabel(QStringLiteral("Ready"), statusBar());
    statusBar()->addWidget(ready, 1);
    m_panes.push_back(ready);
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(statusBar());
        pane->setObjectName(QString::fromUtf8(indicator));
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QString::fromUtf8(indicator)) + 8);
        statusBar()->addPermanentWidget(pane);
        m_panes.push_back(pane);
    }
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { UpdateLockPanes(); });
        timer->start(300);
        UpdateLockPanes();
    }
}

void CMainFrame::UpdateLockPanes() {
    const std::optional<uint32_t> leds = X11KeyboardLeds();
    const char* names[] = {"CAP", "NUM", "SCRL"};
    for (size_t i = 0; i < 3; ++i) {
        // The lights are numbered from 1 for Caps Lock, as the X server keeps them.
        const bool on = leds && (*leds & (1u << i)) != 0;
        m_panes[i + 1]->setText(on ? QString::fromUtf8(names[i]) : QString());
    }
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::SetDocument(CLumetraDoc* doc) {
    m_doc = doc;
    CommandsChanged();
}

void CMainFrame::SetTitle(const std::string& title) {
    setWindowTitle(suite::FromCp1252(title) + QStringLiteral(" - Lumetra"));
}

void CMainFrame::SetVisible(bool visible) {
    if (!visible) {
        hide();
        return;
    }
    show();
    raise();
    activateWindow();
}

bool CMainFrame::Display(const std::filesystem::path& path, const std::string& stylesheetPath,
                         bool deleteOnClose) {
    std::filesystem::path stylesheet;
    if (!stylesheetPath.empty() && m_doc) {
        std::string why;
        const auto local = m_doc->LocalPath(stylesheetPath, &why);
        if (local) {
            stylesheet = *local;
        } else {
            m_log.Write("Lumetra does not use the stylesheet: ", why);
        }
    }
    const bool shown = m_view->Display(path, {}, stylesheet, deleteOnClose);
    UpdateViewCommands();
    return shown;
}

void CMainFrame::CloseDocument() {
    m_view->FileClose();
    UpdateViewCommands();
}

void CMainFrame::UpdateViewCommands() {
    for (const auto& [command, action] : m_viewCommands) {
        action->setEnabled(m_view->CommandEnabled(command));
        action->setChecked(m_view->CommandChecked(command));
    }
    m_saveAs->setEnabled(m_view->BrowserVisible());
    std::error_code error;
    const std::filesystem::path copy = m_view->TempDocPath();
    m_printViaWord->setEnabled(!m_view->BrowserVisible() && !copy.empty() &&
                               std::filesystem::is_regular_file(copy, error));
}

void CMainFrame::OnFileSaveAs() {
    if (!m_view->BrowserVisible()) {
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Save As"), QString::fromStdString(m_view->DocPath().string()));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    dialog.setNameFilters({QStringLiteral("XML Files (*.xml)"), QStringLiteral("All Files (*.*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    SaveAs(dialog.selectedFiles().first().toStdString());
}

bool CMainFrame::SaveAs(const std::filesystem::path& target) {
    if (!m_view->BrowserVisible()) {
        return false;
    }
    std::filesystem::path failed;
    const std::error_code error =
        display::SaveDocumentCopy(m_view->DocPath(), m_view->StylesheetPath(), target, &failed);
    if (!error) {
        return true;
    }
    m_log.Write("Lumetra could not save the document as " + target.string() + ": " + failed.string() + ": " +
                error.message());
    ShowStop("The document could not be saved.\n\n" +
             suite::ToCp1252(QString::fromStdString(failed.string() + ": " + error.message())));
    return false;
}

display::WindowPlacement CMainFrame::StoredPlacement() const {
    std::optional<uint32_t> zoom;
    std::optional<display::WindowRect> stored;
    platform::RegValue value;
    if (m_registry.QueryValue(platform::HKey::CurrentUser, display::kViewerKey, display::kZoomModeValue,
                              value) == 0) {
        zoom = value.AsDword();
    }
    if (m_registry.QueryValue(platform::HKey::CurrentUser, display::kViewerKey, display::kWindowSizeValue,
                              value) == 0 &&
        value.type == platform::RegType::Binary) {
        stored = display::DecodeWindowSize(value.data);
    }
    std::vector<display::WindowRect> screens;
    QList<QScreen*> all = QGuiApplication::screens();
    all.removeOne(QGuiApplication::primaryScreen());
    all.prepend(QGuiApplication::primaryScreen());
    for (QScreen* screen : all) {
        if (screen) {
            const QRect area = screen->availableGeometry();
            screens.push_back(
                {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
        }
    }
    const int icon = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    return display::PlaceWindow(zoom, stored, screens, icon > 0 ? icon : 32);
}

void CMainFrame::StorePlacement() {
    // Qt remembers the normal rectangle while the window is maximised.
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    const display::WindowRect rect{normal.left(), normal.top(), normal.left() + normal.width(),
                                   normal.top() + normal.height()};
    if (m_registry.SetValue(platform::HKey::CurrentUser, display::kViewerKey, display::kZoomModeValue,
                            platform::RegValue::Dword(isMaximized() ? 1 : 0)) != 0) {
        ShowStop(display::kZoomModeSaveError);
    }
    if (m_registry.SetValue(platform::HKey::CurrentUser, display::kViewerKey, display::kWindowSizeValue,
                            platform::RegValue::Binary(display::EncodeWindowSize(rect))) != 0) {
        ShowStop(display::kWindowSizeSaveError);
    }
}

void CMainFrame::RequestPassword() {
    // Once the call that asked has returned to the client.
    QTimer::singleShot(0, this, [this] { ShowPasswordDialog(); });
}

void CMainFrame::ShowPasswordDialog() {
    if (!m_doc || m_passwordDialog) {
        return;
    }
    update();
    CApproveDlg dialog(this);
    m_passwordDialog = &dialog;
    const int answer = dialog.exec();
    m_passwordDialog = nullptr;
    if (!m_doc || m_closing) {
        return;  // the document went away while the dialog was open
    }
    if (answer == QDialog::Accepted) {
        m_doc->PasswordEntered(suite::ToCp1252(dialog.Password()));
    } else {
        m_doc->PasswordEntered(std::nullopt);
    }
}

void CMainFrame::DropPasswordDialog() {
    m_closing = true;
    if (m_passwordDialog) {
        m_passwordDialog->reject();
    }
}

void CMainFrame::ShowStop(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Lumetra"), suite::FromCp1252(text),
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

void CMainFrame::CommandsChanged() {
    for (const auto& [verdict, action] : m_commands) {
        action->setEnabled(m_doc != nullptr && m_doc->Enabled(verdict));
    }
}

void CMainFrame::RaiseClientWindow(int32_t window) {
    // Wayland lets no program raise another's window; X11 does through the window manager.
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        ActivateX11Window(static_cast<uint32_t>(window));
    }
}

int32_t CMainFrame::WindowHandle() {
    return static_cast<int32_t>(winId());
}

void CMainFrame::SetMainWindowEnabled(bool enabled) {
    setEnabled(enabled);
}

void CMainFrame::ShowAbout() {
    suite::CAboutDlg about({QStringLiteral("Lumetra"), QStringLiteral("Lumetra document viewer")},
                           suite::CVersionInfo(), this);
    if (auto* layout = qobject_cast<QVBoxLayout*>(about.layout())) {
        auto* row = new QGridLayout();
        auto* caption = new QLabel(m_log.Enabled() ? QStringLiteral("Log File Path:") : QString(), &about);
        auto* path = new QLabel(QString::fromStdString(m_log.PathText()), &about);
        caption->setObjectName(QStringLiteral("logCaption"));
        path->setObjectName(QStringLiteral("logPath"));
        row->addWidget(caption, 0, 0);
        row->addWidget(path, 0, 1);
        layout->insertLayout(layout->count() - 1, row);
    }
    about.exec();
}

void CMainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        m_view->FocusVisiblePane();
    }
    QMainWindow::changeEvent(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    StorePlacement();  // the window closes even when this fails
    if (m_onClose) {
        event->ignore();  // the handler ends the document and then the program
        m_onClose();
        return;
    }
    QMainWindow::closeEvent(event);
}

}  // namespace viewer
