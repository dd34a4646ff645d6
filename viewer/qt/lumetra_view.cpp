// The viewer's two panes and the routing between them.
#include "viewer/qt/lumetra_view.h"

#include <QFile>
#include <QFocusEvent>
#include <QImage>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QResizeEvent>
#include <QStringDecoder>
#include <QUrl>
#include <system_error>

#include "docview/fennick_contract.h"
#include "platform/automation/class_registry.h"
#include "viewer/display/converter_call.h"
#include "viewer/display/document_route.h"
#include "viewer/display/xml_transform.h"
#include "viewer/lumetra_doc.h"

namespace viewer {

namespace fs = std::filesystem;
namespace automation = platform::automation;
using automation::InvokeKind;
using automation::Variant;
using fennick::Dispid;

namespace {

// A page or one of its pictures larger than this is not read into memory.
constexpr qint64 kMaxResourceBytes = qint64{64} << 20;

std::optional<QByteArray> ReadBounded(const fs::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxResourceBytes) {
        return std::nullopt;
    }
    return file.readAll();
}

int Id(Dispid id) {
    return static_cast<int>(id);
}

}  // namespace

CBrowserPane::CBrowserPane(QWidget* parent) : QTextBrowser(parent) {
    // A link never opens another file or program: the pane shows the one document it was given.
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant CBrowserPane::loadResource(int type, const QUrl& name) {
    // An empty answer of the asked kind, never a null one: on a null answer the document would read the
    // file itself, wherever it lies.
    const QVariant refused = type == QTextDocument::ImageResource        ? QVariant(QImage())
                             : type == QTextDocument::StyleSheetResource ? QVariant(QString())
                                                                         : QVariant(QByteArray());
    if (m_folder.empty() ||
        (type != QTextDocument::ImageResource && type != QTextDocument::StyleSheetResource)) {
        return refused;
    }
    const QString reference = name.isLocalFile()        ? name.toLocalFile()
                              : name.scheme().isEmpty() ? name.path(QUrl::FullyDecoded)
                                                        : name.toString();
    const auto path = display::ResourceBeside(m_folder, reference.toStdString());
    const auto bytes = path ? ReadBounded(*path) : std::nullopt;
    if (!bytes) {
        return refused;
    }
    if (type == QTextDocument::StyleSheetResource) {
        return QString::fromUtf8(*bytes);
    }
    QImage image;
    image.loadFromData(*bytes);
    return image;
}

CLumetraView::CLumetraView(LumetraLog log, Handlers handlers, std::string converter,
                           std::shared_ptr<automation::IDispatch> viewer, QWidget* parent)
    : QWidget(parent),
      m_log(std::move(log)),
      m_handlers(std::move(handlers)),
      m_converter(std::move(converter)),
      m_viewer(std::move(viewer)) {
    m_browser = new CBrowserPane(this);
    m_browser->setObjectName(QStringLiteral("browser"));
    std::string why;
    if (!m_viewer &&
        (automation::CoCreateInstance(fennick::kQelctrlClsid, m_viewer, &why) != automation::S_OK ||
         !m_viewer)) {
        m_viewer.reset();
        m_log.Write("Lumetra cannot create the document-view control: ", why);
    } else {
        std::shared_ptr<void> widget;
        if (m_viewer->QueryInterface(fennick::kQelctrlWidgetIid, widget) == automation::S_OK && widget) {
            m_viewerWidget = static_cast<QWidget*>(widget.get());
            m_viewerWidget->setParent(this);
        } else {
            m_log.Write("Lumetra cannot place the document-view control: it has no window.");
            m_viewer.reset();
        }
    }
    m_temp = display::ViewerTempFolder::Create(&why);
    if (!m_temp) {
        m_log.Write("Lumetra has no temporary folder: ", why);
    }
    ShowBrowser(false);
}

CLumetraView::~CLumetraView() {
    FileClose();
    if (m_viewerWidget) {
        // The control owns its window: take it back out before the control goes.
        m_viewerWidget->hide();
        m_viewerWidget->setParent(nullptr);
    }
    m_viewer.reset();
}

fs::path CLumetraView::TempDocPath() const {
    return m_temp ? m_temp->PrintCopyPath() : fs::path();
}

int32_t CLumetraView::Call(int dispid, InvokeKind kind, std::vector<Variant> args, Variant* result) {
    if (!m_viewer) {
        return automation::E_FAIL;
    }
    Variant ignored;
    automation::InvokeError error;
    const auto hr = m_viewer->Invoke(dispid, kind, args, result ? result : &ignored, &error);
    if (hr != automation::S_OK) {
        m_log.Write("The document-view control refused a call: ", error.description);
    }
    return hr;
}

void CLumetraView::Stop(const std::string& text) {
    m_log.Write(text);
    if (m_handlers.showStop) {
        m_handlers.showStop(text);
    }
}

void CLumetraView::ShowBrowser(bool browser) {
    m_browserVisible = browser;
    if (m_viewerWidget) {
        m_viewerWidget->setVisible(!browser);
    }
    m_browser->setVisible(browser);
}

bool CLumetraView::Display(const fs::path& path, const std::string& title, const fs::path& stylesheet,
                           bool deleteOnClose) {
    m_docPath = path;
    m_stylesheetPath = stylesheet;
    m_deleteFilesOnClose = false;
    if (display::RouteFor(path.string()) == display::DocumentRoute::Xml) {
        ShowBrowser(true);
        if (!DisplayXml(path)) {
            return false;
        }
        m_browser->setFocus();
        m_deleteFilesOnClose = deleteOnClose;
        return true;
    }
    return DisplayInViewer(path, title, deleteOnClose);
}

bool CLumetraView::DisplayXml(const fs::path& path) {
    display::TransformOptions options;
    options.fallbackStylesheet = m_stylesheetPath;
    const display::TransformResult result = display::TransformXmlDocument(path, options);
    m_browser->SetFolder(path.parent_path());
    if (!result.Shown()) {
        m_browser->clear();
        m_log.Write("Lumetra cannot show the document: ", result.message);
        return false;
    }
    if (result.status == display::TransformStatus::Html) {
        m_browser->setHtml(QString::fromUtf8(result.content));
    } else {
        m_browser->setPlainText(QString::fromUtf8(result.content));
    }
    return true;
}

bool CLumetraView::DisplayHtmlFile(const fs::path& path) {
    m_browser->SetFolder(path.parent_path());
    const auto bytes = ReadBounded(path);
    if (!bytes) {
        m_browser->clear();
        m_log.Write("Lumetra cannot read the converted document ", path.string());
        return false;
    }
    QStringDecoder decoder = QStringDecoder::decoderForHtml(*bytes);
    m_browser->setHtml(decoder.isValid() ? QString(decoder(*bytes)) : QString::fromUtf8(*bytes));
    return true;
}

bool CLumetraView::DisplayInViewer(const fs::path& path, const std::string& title, bool deleteOnClose) {
    ShowBrowser(false);
    if (!m_viewer) {
        m_log.Write("Lumetra cannot show the document without the document-view control: ", path.string());
        return false;
    }
    if (m_temp) {
        std::error_code error;
        fs::copy_file(path, m_temp->PrintCopyPath(), fs::copy_options::overwrite_existing, error);
        if (error) {
            m_log.Write("Lumetra keeps no print copy of the document: ", error.message());
        }
    }
    m_viewerWidget->setUpdatesEnabled(false);
    Variant viewed;
    const auto hr =
        Call(Id(Dispid::ViewFile), InvokeKind::Method,
             {Variant::Bool(false), Variant::Bstr(path.string()), Variant::I2(0), Variant::I2(0),
              Variant::Bool(false), Variant::Bstr(""), Variant::Bool(deleteOnClose), Variant::I2(0)},
             &viewed);
    bool shown = hr == automation::S_OK && viewed.AsI4() != 0;
    if (shown) {
        Variant engine;
        Call(Id(Dispid::DisplayEngineType), InvokeKind::PropertyGet, {}, &engine);
        const int type = engine.AsI4();
        if (type == kEngineTypeWordProcessor) {
            Call(Id(Dispid::Clear), InvokeKind::Method, {});
            m_viewerWidget->setUpdatesEnabled(true);
            if (!ShowConverted()) {
                return false;
            }
            m_deleteFilesOnClose = deleteOnClose;
            return true;
        }
        if (type == kEngineTypeImage) {
            Call(Id(Dispid::Clear), InvokeKind::Method, {});
            Stop(kInvalidDocumentTypeText);
            shown = false;
        } else if (m_handlers.setTitle) {
            Variant name;
            if (title.empty()) {
                Call(Id(Dispid::FileInfoDisplayName), InvokeKind::PropertyGet, {}, &name);
            }
            m_handlers.setTitle(title.empty() ? name.AsBstr() : title);
        }
    }
    m_viewerWidget->setUpdatesEnabled(true);
    m_viewerWidget->setFocus();
    return shown;
}

bool CLumetraView::ShowConverted() {
    if (!m_temp) {
        Stop(kConverterNotFoundText);
        return false;
    }
    display::ConverterCall call;
    if (!m_converter.empty()) {
        call.program = m_converter;
    }
    const display::ConvertResult result =
        display::ConvertDocument(call, m_temp->PrintCopyPath(), m_temp->HtmlPath());
    if (result.status == display::ConvertStatus::NotFound) {
        Stop(kConverterNotFoundText);
        return false;
    }
    if (!result.Converted()) {
        m_log.Write("Lumetra cannot convert the document: ", result.message);
        return false;
    }
    ShowBrowser(true);
    if (!DisplayHtmlFile(m_temp->HtmlPath())) {
        return false;
    }
    m_browser->setFocus();
    return true;
}

void CLumetraView::FileClose() {
    if (!m_browserVisible) {
        Call(Id(Dispid::Clear), InvokeKind::Method, {});
        return;
    }
    m_browser->clear();
    if (!m_deleteFilesOnClose) {
        return;
    }
    m_deleteFilesOnClose = false;
    // Checked again now: the file may have been replaced by a link since it was shown.
    for (const fs::path& path : {m_docPath, m_stylesheetPath}) {
        std::string why;
        std::error_code error;
        if (path.empty()) {
            continue;
        }
        if (!MayDelete(path, &why)) {
            m_log.Write("Lumetra does not delete the file: ", why);
        } else if (!fs::remove(path, error) || error) {
            m_log.Write("Lumetra cannot delete the file: ", path.string());
        }
    }
}

namespace {

int16_t ModeOf(ViewCommand command) {
    switch (command) {
        case ViewCommand::DraftMode:
            return 1;
        case ViewCommand::NormalMode:
            return 2;
        case ViewCommand::PreviewMode:
            return 3;
        default:
            return 0;
    }
}

}  // namespace

bool CLumetraView::CommandEnabled(ViewCommand command) const {
    if (ModeOf(command) != 0) {
        return !m_browserVisible && m_viewer;
    }
    return m_browserVisible || m_viewer;
}

bool CLumetraView::CommandChecked(ViewCommand command) {
    const int16_t mode = ModeOf(command);
    if (mode == 0 || !CommandEnabled(command)) {
        return false;
    }
    Variant current;
    Call(Id(Dispid::WPDisplayMode), InvokeKind::PropertyGet, {}, &current);
    return current.AsI4() == mode;
}

void CLumetraView::RunCommand(ViewCommand command) {
    if (!CommandEnabled(command)) {
        return;
    }
    if (m_browserVisible) {
        switch (command) {
            case ViewCommand::Print: {
                QPrintDialog dialog(&m_printer, this);
                if (dialog.exec() == QDialog::Accepted) {
                    m_browser->print(&m_printer);
                }
                break;
            }
            case ViewCommand::PrintSetup: {
                QPageSetupDialog dialog(&m_printer, this);
                dialog.exec();
                break;
            }
            case ViewCommand::Copy:
                m_browser->copy();
                break;
            default:
                break;
        }
        return;
    }
    switch (command) {
        case ViewCommand::Print:
            // The control's own boxes stay shut while it prints; its print dialog is the user's.
            Call(Id(Dispid::ErrorShowMsg), InvokeKind::PropertyPut, {Variant::Bool(false)});
            Call(Id(Dispid::PrintOI), InvokeKind::Method,
                 {Variant::I4(1), Variant::I4(0), Variant::I4(1), Variant::I4(0)});
            Call(Id(Dispid::ErrorShowMsg), InvokeKind::PropertyPut, {Variant::Bool(true)});
            break;
        case ViewCommand::PrintSetup:
            Call(Id(Dispid::PrintSetup), InvokeKind::Method, {});
            break;
        case ViewCommand::Copy:
            Call(Id(Dispid::CopyToClip), InvokeKind::Method, {});
            break;
        default:
            Call(Id(Dispid::WPDisplayMode), InvokeKind::PropertyPut, {Variant::I2(ModeOf(command))});
            break;
    }
}

void CLumetraView::resizeEvent(QResizeEvent* event) {
    const QRect area(QPoint(0, 0), event->size());
    m_browser->setGeometry(area);
    if (m_viewerWidget) {
        m_viewerWidget->setGeometry(area);
    }
    QWidget::resizeEvent(event);
}

void CLumetraView::focusInEvent(QFocusEvent* event) {
    FocusVisiblePane(event->reason());
}

void CLumetraView::FocusVisiblePane(Qt::FocusReason reason) {
    QWidget* visible = m_browserVisible ? static_cast<QWidget*>(m_browser) : m_viewerWidget;
    if (visible) {
        visible->setFocus(reason);
    }
}

}  // namespace viewer
