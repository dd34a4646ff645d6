// The bars the terminal control lays over its window: the main toolbar and the control toolbar in the band
// above the screen, and the status bar along the bottom. The control creates and destroys them with its
// session and routes their commands.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "terminal/bars/status_bar.h"
#include "terminal/bars/toolbar_commands.h"
#include "terminal/bars/toolbar_strip.h"

namespace terminal::bars {

class CControlBars : public QObject {
    Q_OBJECT

  public:
    // The bars become children of `window`, laid over whatever else it holds.
    explicit CControlBars(QWidget& window);
    ~CControlBars() override;

    // Both toolbars, hidden until ShowToolbars; the main toolbar shows System (nothing in the Simple form).
    void CreateToolbars(bool simple);
    void DestroyToolbars();
    bool HasToolbars() const { return m_main != nullptr; }
    void ShowToolbars();
    // The host's toolbar number and the Simple property; kept for toolbars made later too.
    void SwitchMain(int32_t hostNumber);
    void SetSimple(bool simple);
    const CToolbarSet& Toolbars() const { return m_set; }
    CToolbarStrip* MainToolbar() const { return m_main; }
    CToolbarStrip* ControlToolbar() const { return m_control; }

    void CreateStatusBar();
    void DestroyStatusBar();
    void ShowStatusBar();
    CQuilletStatusBar* StatusBar() const { return m_status; }
    // The height the status bar takes from the screen: 0 without one.
    int StatusBarHeight() const;

    // Places the bars for the window's size.
    void Layout();

  signals:
    void toolbarCommand(int id);
    void statusCommand(int id);

  private:
    void Refresh();

    QWidget& m_window;
    CToolbarSet m_set;
    QPointer<CToolbarStrip> m_main;
    QPointer<CToolbarStrip> m_control;
    QPointer<CQuilletStatusBar> m_status;
};

}  // namespace terminal::bars
