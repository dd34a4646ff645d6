// The viewer's view: the document-view control for the formats its engine knows and a browser pane for XML
// and converted word-processor documents, exactly one of them visible. The browser pane loads nothing from
// the network and reads only files beside the shown document.
#pragma once

#include <QPrinter>
#include <QTextBrowser>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/automation/dispatch.h"
#include "viewer/display/viewer_temp.h"
#include "viewer/lumetra_log.h"

namespace viewer {

inline constexpr const char* kInvalidDocumentTypeText =
    "Error: Invalid Document Type\n\nImages are not viewable in Lumetra.";
inline constexpr const char* kConverterNotFoundText = "Error: Document Converter not Found";

// Engine types with a route of their own.
inline constexpr int kEngineTypeImage = 7;
inline constexpr int kEngineTypeWordProcessor = 8;

class CBrowserPane : public QTextBrowser {
  public:
    explicit CBrowserPane(QWidget* parent);
    // Pictures and style sheets that the shown page names come from this folder only.
    void SetFolder(std::filesystem::path folder) { m_folder = std::move(folder); }

  protected:
    QVariant loadResource(int type, const QUrl& name) override;

  private:
    std::filesystem::path m_folder;
};

// The view's commands; which pane is visible decides what they do.
enum class ViewCommand { Print, PrintSetup, Copy, DraftMode, NormalMode, PreviewMode };

class CLumetraView : public QWidget {
  public:
    struct Handlers {
        std::function<void(const std::string&)> setTitle;  // the frame's title for the shown document
        std::function<void(const std::string&)> showStop;  // a message box with the stop icon
    };
    // The converter program as `ConverterCall` takes it; empty: mardle beside the viewer. Without `viewer`
    // the document-view control is created by its class id.
    CLumetraView(LumetraLog log, Handlers handlers, std::string converter = {},
                 std::shared_ptr<platform::automation::IDispatch> viewer = {}, QWidget* parent = nullptr);
    ~CLumetraView() override;

    // True when the document is shown. `stylesheet` is a local path, empty for none.
    bool Display(const std::filesystem::path& path, const std::string& title,
                 const std::filesystem::path& stylesheet, bool deleteOnClose);
    void FileClose();

    bool BrowserVisible() const { return m_browserVisible; }
    CBrowserPane* Browser() const { return m_browser; }
    // Null when the control could not be created.
    platform::automation::IDispatch* Viewer() const { return m_viewer.get(); }
    QWidget* ViewerWidget() const { return m_viewerWidget; }
    bool CommandEnabled(ViewCommand command) const;
    // Whether the command's menu item is checked: the control's current display mode.
    bool CommandChecked(ViewCommand command);
    void RunCommand(ViewCommand command);
    // The keyboard goes to whichever pane is visible.
    void FocusVisiblePane(Qt::FocusReason reason = Qt::ActiveWindowFocusReason);

    // The last displayed document and its stylesheet (empty for none).
    const std::filesystem::path& DocPath() const { return m_docPath; }
    const std::filesystem::path& StylesheetPath() const { return m_stylesheetPath; }
    // The copy of the shown document that printing through the word processor opens; empty without one.
    std::filesystem::path TempDocPath() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    void ShowBrowser(bool browser);
    bool DisplayXml(const std::filesystem::path& path);
    bool DisplayHtmlFile(const std::filesystem::path& path);
    bool DisplayInViewer(const std::filesystem::path& path, const std::string& title, bool deleteOnClose);
    bool ShowConverted();
    int32_t Call(int dispid, platform::automation::InvokeKind kind,
                 std::vector<platform::automation::Variant> args,
                 platform::automation::Variant* result = nullptr);
    void Stop(const std::string& text);

    LumetraLog m_log;
    Handlers m_handlers;
    std::string m_converter;
    std::shared_ptr<platform::automation::IDispatch> m_viewer;
    QWidget* m_viewerWidget = nullptr;
    CBrowserPane* m_browser = nullptr;
    std::unique_ptr<display::ViewerTempFolder> m_temp;
    QPrinter m_printer;  // the browser's page setup, kept for its next print
    std::filesystem::path m_docPath;
    std::filesystem::path m_stylesheetPath;
    bool m_deleteFilesOnClose = false;
    bool m_browserVisible = false;
};

}  // namespace viewer
