// The notifier's visible side on Qt Widgets: the progress popup, the prompt dialogs, the tray icon and the
// view that the controller drives.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "notifier/controller.h"
#include "notifier/qt/status_notifier_item.h"

class QTimer;
class QFileSystemWatcher;
class QDBusServiceWatcher;

namespace notifier {

// Our own drawings in place of the product images and the tray icon.
QPixmap ProductImage(int id);
QIcon TrayIconImage();

// The leading decimal number of a percent text, saturating; the bar clamps it to 0..100.
int LeadingPercent(std::string_view text);

// Dialog 101: texts, product text, progress bar and percent. Non-modal; OK, Cancel and close hide it.
class ProgressPopup : public QDialog {
  public:
    explicit ProgressPopup(QWidget* owner = nullptr);
    void SetTexts(const QString& text1, const QString& text2);
    void SetProgressPercent(std::string_view text);
    void SetProduct(const QString& text, const QPixmap& image, const QString& title);
    int LastPercent() const { return m_lastPercent; }
    QLabel* PercentLabel() const { return m_percent; }
    QProgressBar* Bar() const { return m_bar; }

    void reject() override { hide(); }
    void accept() override { hide(); }

  private:
    void RefreshPercentColours();
    QLabel* m_text1;
    QLabel* m_text2;
    QLabel* m_product;
    QLabel* m_percent;
    QLabel* m_image;
    QProgressBar* m_bar;
    int m_lastPercent = 0;
};

// Dialogs 134-138 by the buttons text. Every way out gives one word: the button's, or "CANCEL" for
// Escape and the close button.
class PromptDialog : public QDialog {
  public:
    PromptDialog(std::string_view buttons, const QString& caption, const QString& text, int lastPercent,
                 const QPixmap& image, std::function<void(const char*)> answer, QWidget* owner = nullptr);
    static int TemplateFor(std::string_view buttons);
    // Ends the dialog without an answer.
    void Dismiss();

    void reject() override { Answer("CANCEL"); }

  private:
    void Answer(const char* word);
    std::function<void(const char*)> m_answer;
    bool m_done = false;
};

// The tray icon, absent until shown; comes back when a tray (re)appears. An XEmbed tray that restarts
// takes Qt's icon again by itself, and so does a StatusNotifierItem watcher that restarts when Qt put the
// icon on the bus. A watcher that turns up later gets an item of our own, in place of the XEmbed icon while
// it stays.
class CSystemTray {
  public:
    explicit CSystemTray(std::function<void()> activated = {});
    ~CSystemTray();
    void ShowIcon();
    void HideIcon();
    void AddIcon();
    void RemoveIcon();
    void OnTaskbarCreated();
    bool Visible() const { return m_shown; }
    QSystemTrayIcon& Icon() { return *m_icon; }

  private:
    // Shows the icon where it can be seen now, or takes it away.
    void Place();

    std::function<void()> m_activated;
    // Decided before the first icon exists, as Qt decides then too.
    bool m_qtOnBus;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::unique_ptr<StatusNotifierItem> m_item;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    bool m_onItem = false;
    bool m_shown = false;
};

// The view the controller drives, with the never-shown main window "PelloryTray".
class QtNotifierView : public NotifierView {
  public:
    QtNotifierView();
    ~QtNotifierView() override;
    void Attach(NotifierController& controller);

    void ShowTray() override { m_tray.ShowIcon(); }
    void HideTray() override { m_tray.HideIcon(); }
    void SetPopupTexts(std::string_view text1, std::string_view text2) override;
    void SetProgressPercent(std::string_view text) override;
    void HidePopupAfter(int milliseconds) override;
    void ShowPromptDialog(std::string_view buttons, std::string_view caption, std::string_view text) override;
    void DismissDialog() override;
    void ChangeProduct(std::string_view text, std::string_view product, std::string_view title) override;
    void Close() override;
    void CreatePopup() override;
    void ScheduleTick(int milliseconds) override;
    bool RunCommandLine(const std::vector<std::string>& argv) override;

    ProgressPopup* Popup() const { return m_popup.get(); }
    PromptDialog* Prompt() const { return m_prompt; }
    QWidget& MainWindow() { return m_main; }
    CSystemTray& Tray() { return m_tray; }

  private:
    NotifierController* m_controller = nullptr;
    QWidget m_main;
    CSystemTray m_tray{[this] {
        if (m_controller)
            m_controller->OnTrayActivated();
    }};
    std::unique_ptr<ProgressPopup> m_popup;
    PromptDialog* m_prompt = nullptr;
    QTimer* m_tick;
    QTimer* m_hide;
    QFileSystemWatcher* m_watcher;
    void WatchFile();
};

}  // namespace notifier
