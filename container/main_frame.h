// Brantor's main window: a frame whose view holds the terminal control's widget, shown when the control
// asks for it and closed by the container's close rule. The toolbars, the navigation status bar and the
// menus of the frame are added to this class beside the view.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "container/brantor_app.h"

namespace container {

// Escapes what a window title would otherwise treat as markup, so a host text shows as it is.
QString PlainWindowTitle(std::string_view text);

// The document's only view: the parent of the control's widget.
class CBrantorView : public QWidget {
    Q_OBJECT
  public:
    explicit CBrantorView(QWidget* parent = nullptr);
    void Embed(QWidget* control);
    void Release(QWidget* control);

  private:
    QVBoxLayout* m_layout;
};

class CMainFrame : public QMainWindow, public BrantorFrame {
    Q_OBJECT
  public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The application whose close rule the frame follows; null closes at once.
    void SetApp(CBrantorApp* app) { m_app = app; }
    CBrantorView* View() const { return m_view; }
    QWidget* ControlWidget() const { return m_controlWidget.get(); }

    bool CreateControlHost() override;
    bool EmbedControl(CQuillet& control) override;
    void ReleaseControl() override;
    void ShowFrame(bool maximised) override;
    void ShowControl() override;
    void HideControl() override;
    void HideFrame() override;
    bool IsMaximised() const override;
    WindowRect NormalRect() const override;
    WindowRect CurrentRect() const override;
    void PostClose() override;
    void Post(std::function<void()> task) override;
    void SetTitle(std::string_view title) override;
    int SwitchToolbar(int16_t bar) override;
    void RemoveSystemToolbar() override;
    void RefreshLayout() override;
    std::optional<int32_t> TrackPopupMenu(const PopupMenuData& data) override;
    std::optional<FontChoice> ChooseFont(const terminal::LogFont& start) override;
    void ResizeForFont() override;
    void SetTopmost(bool on) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    CBrantorApp* m_app = nullptr;
    CBrantorView* m_view;
    // Keeps the control object alive while its widget sits in the view.
    std::shared_ptr<QWidget> m_controlWidget;
};

}  // namespace container
