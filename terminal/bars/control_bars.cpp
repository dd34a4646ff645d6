// The control's toolbars and status bar over its window.
#include "terminal/bars/control_bars.h"

namespace terminal::bars {

namespace {

// The toolbar band's geometry: both bars 8 pixels down and 21 high, the control toolbar 130 pixels from the
// right edge.
constexpr int kBarTop = 8;
constexpr int kBarHeight = 21;
constexpr int kMainLeft = 6;
constexpr int kMainRightGap = 140;
constexpr int kControlFromRight = 130;
constexpr int kControlWidth = 122;

template <typename T>
void Destroy(QPointer<T>& widget) {
    if (widget) {
        widget->hide();
        widget->deleteLater();
    }
    widget = nullptr;
}

}  // namespace

CControlBars::CControlBars(QWidget& window) : QObject(&window), m_window(window) {}

CControlBars::~CControlBars() {
    delete m_main.data();
    delete m_control.data();
    delete m_status.data();
}

void CControlBars::CreateToolbars(bool simple) {
    m_set.SetSimple(simple);
    if (HasToolbars()) {
        Refresh();
        return;
    }
    m_set.SwitchMain(0);
    m_main = new CToolbarStrip(&m_window);
    m_main->setObjectName(QStringLiteral("mainToolbar"));
    m_main->hide();
    connect(m_main, &CToolbarStrip::command, this, &CControlBars::toolbarCommand);
    m_control = new CToolbarStrip(&m_window);
    m_control->setObjectName(QStringLiteral("controlToolbar"));
    m_control->hide();
    connect(m_control, &CToolbarStrip::command, this, &CControlBars::toolbarCommand);
    Refresh();
    Layout();
}

void CControlBars::DestroyToolbars() {
    Destroy(m_main);
    Destroy(m_control);
}

void CControlBars::ShowToolbars() {
    for (CToolbarStrip* bar : {m_main.data(), m_control.data()}) {
        if (bar != nullptr) {
            bar->show();
            bar->raise();
        }
    }
}

void CControlBars::SwitchMain(int32_t hostNumber) {
    m_set.SwitchMain(hostNumber);
    Refresh();
}

void CControlBars::SetSimple(bool simple) {
    m_set.SetSimple(simple);
    Refresh();
}

void CControlBars::Refresh() {
    if (m_main) {
        m_main->SetButtons(m_set.MainButtons(), CToolbarSet::kMainIndent);
    }
    if (m_control) {
        m_control->SetButtons(m_set.ControlButtons(), m_set.ControlIndent());
    }
}

void CControlBars::CreateStatusBar() {
    if (m_status) {
        return;
    }
    m_status = new CQuilletStatusBar(&m_window);
    m_status->hide();
    connect(m_status, &CQuilletStatusBar::command, this, &CControlBars::statusCommand);
    Layout();
}

void CControlBars::DestroyStatusBar() {
    Destroy(m_status);
}

void CControlBars::ShowStatusBar() {
    if (m_status) {
        m_status->show();
        m_status->raise();
    }
}

int CControlBars::StatusBarHeight() const {
    return m_status ? CQuilletStatusBar::kHeight : 0;
}

void CControlBars::Layout() {
    const int cx = m_window.width();
    const int cy = m_window.height();
    if (m_main) {
        m_main->setGeometry(kMainLeft, kBarTop, std::max(0, cx - kMainRightGap), kBarHeight);
    }
    if (m_control) {
        m_control->setGeometry(cx - kControlFromRight, kBarTop, kControlWidth, kBarHeight);
    }
    if (m_status) {
        m_status->setGeometry(CQuilletStatusBar::kInset,
                              cy - CQuilletStatusBar::kHeight - CQuilletStatusBar::kBottomGap,
                              std::max(0, cx - 2 * CQuilletStatusBar::kInset), CQuilletStatusBar::kHeight);
    }
}

}  // namespace terminal::bars
