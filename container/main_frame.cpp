// The main window of the container and its view.
#include "container/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <algorithm>

#include "platform/user_prompt.h"
#include "tools/qt_text.h"

namespace container {

QString PlainWindowTitle(std::string_view text) {
    QString title = tools::FromCp1252(text);
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

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_view(new CBrantorView(this)) {
    setCentralWidget(m_view);
    // The five toolbars (System, Control, Appointment, Medical Records, Mpi) dock along the top edge and the
    // navigation status bar along the bottom; they are created here, before the view is sized.
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
    return bar >= 0 && bar <= 3 ? 0 : -1;
}

void CMainFrame::RemoveSystemToolbar() {}

void CMainFrame::RefreshLayout() {
    if (QLayout* layout = m_view->layout()) {
        layout->activate();
    }
    // One pixel wider and back, so that the control is laid out at its place in the view.
    const QSize size = this->size();
    resize(size.width() + 1, size.height());
    resize(size);
}

std::optional<int32_t> CMainFrame::TrackPopupMenu(const PopupMenuData& data) {
    auto* menu = static_cast<QMenu*>(data.menu);
    if (menu == nullptr) {
        return std::nullopt;
    }
    QAction* chosen = menu->exec(QPoint(data.x, data.y));
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

std::optional<FontChoice> CMainFrame::ChooseFont(const terminal::LogFont& start) {
    QFont initial(tools::FromCp1252(start.faceName));
    if (start.height != 0) {
        initial.setPixelSize(std::abs(start.height));
    }
    if (start.weight > 0) {
        initial.setWeight(static_cast<QFont::Weight>(std::clamp(start.weight, 1, 1000)));
    }
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, this, QString(), QFontDialog::MonospacedFonts);
    if (!ok) {
        return std::nullopt;
    }
    const QFontMetrics metrics(font);
    FontChoice choice;
    choice.font = start;
    choice.font.faceName = tools::ToCp1252(font.family());
    choice.font.weight = static_cast<int32_t>(font.weight());
    choice.pointSizeTenths = static_cast<int32_t>(font.pointSizeF() * 10.0);
    // The cell is measured on the widest character of the screen's set, as the control measures it.
    choice.cellWidth = metrics.horizontalAdvance(QChar(0x00C5));
    choice.cellHeight = metrics.height();
    choice.font.height = choice.cellHeight;
    choice.font.width = choice.cellWidth;
    if (choice.cellWidth <= 0 || choice.cellHeight <= 0) {
        platform::DefaultPrompt().Message("ResizeRequest() Error creating font!");
        return std::nullopt;
    }
    return choice;
}

void CMainFrame::ResizeForFont() {
    if (m_app == nullptr || !m_app->IsConnected()) {
        return;
    }
    terminal::LogFont saved;
    terminal::ReadFontSettings(saved);
    QFont font(tools::FromCp1252(saved.faceName));
    if (saved.height != 0) {
        font.setPixelSize(std::abs(saved.height));
    }
    const QFontMetrics metrics(font);
    const int statusBarHeight = 0;  // the navigation status bar is not part of the frame yet
    const int width = std::max(metrics.horizontalAdvance(QChar(0x00C5)) * 80 + 24, 600);
    const int height = std::max(statusBarHeight + metrics.height() * 25 + 96, 470);
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
    if (event->type() == QEvent::WindowStateChange && m_app != nullptr) {
        m_app->SetZoomed(isMaximized());
    }
}

}  // namespace container
