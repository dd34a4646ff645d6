// The control's window, its file dialog and its message boxes on Qt.
#include "docview/fennick/fennick_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "docview/fennick/page_surfaces.h"
#include "docview/lydvw.h"
#include "docview/page_tables.h"
#include "suite/qt/ambient_site.h"
#include "suite/qt/paint_handles.h"
#include "suite/qt/property_frame.h"
#include "suite/qt/qt_text.h"

namespace fennick {

namespace {

// The control's own boxes, used while no one has installed a prompt for the process.
class BoxPrompt final : public platform::UserPrompt {
  public:
    platform::PromptResult Show(const platform::PromptRequest& request) override {
        QMessageBox box(
            request.icon == platform::PromptIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
            suite::FromCp1252(request.caption), suite::FromCp1252(request.text), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return platform::PromptResult::Ok;
    }
};

std::shared_ptr<platform::automation::IClassFactory> PageFactory(const platform::automation::Guid& clsid) {
    return suite::PageClassFactoryOf(docview::ControlPages(), clsid);
}

void ShowPropertyFrame(docview::Cqelctrl& control) {
    std::shared_ptr<platform::automation::IDispatch> keepAlive = control.weak_from_this().lock();
    if (!keepAlive)
        return;
    std::vector<platform::automation::Guid> pages;
    docview::CQelPageList().GetPages(pages);
    suite::RunPropertyFrame(static_cast<QWidget*>(control.Widget()),
                            suite::FromCp1252(std::string(kQelctrlTypeName) + " Properties"), {keepAlive},
                            pages, PageFactory);
}

platform::UserPrompt& ControlPrompt() {
    if (platform::UserPrompt* installed = platform::InstalledPrompt())
        return *installed;
    static BoxPrompt boxes;
    return boxes;
}

std::optional<std::string> ChooseFile(const docview::FileDialogRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title),
                       QString::fromStdString(request.folder));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(QString::fromStdString(request.filterName),
                                                       QString::fromStdString(request.filterPattern)));
    if (!request.fileName.empty())
        dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

// HIMETRIC (hundredths of a millimetre) to pixels of a 96 dots-per-inch screen.
int ScreenPixels(int32_t himetric) {
    return static_cast<int>((int64_t{himetric} * 96 + 1270) / 2540);
}

// A picture annotation's copy: an icon as it is, anything else drawn at its own size on white.
std::optional<docview::PictureBits> PictureBitsOf(const docview::PictureSource& source) {
    const std::shared_ptr<QImage> image = suite::ImageFromHandle(source.handle);
    const std::shared_ptr<QPicture> picture = suite::PictureFromHandle(source.handle);
    if (!image && !picture)
        return std::nullopt;
    QImage copy;
    if (source.type == 3 && image) {
        copy = image->convertToFormat(QImage::Format_ARGB32);
    } else {
        QSize size(ScreenPixels(source.widthHimetric), ScreenPixels(source.heightHimetric));
        if (size.isEmpty())
            size = image ? image->size() : picture->boundingRect().size();
        if (size.isEmpty() || size.width() > int{LYDVW_PICTURE_SIDE_MAX} ||
            size.height() > int{LYDVW_PICTURE_SIDE_MAX})
            return std::nullopt;
        copy = QImage(size, QImage::Format_ARGB32);
        copy.fill(Qt::white);
        QPainter painter(&copy);
        if (image)
            painter.drawImage(QRect(QPoint(0, 0), size), *image);
        else
            painter.drawPicture(0, 0, *picture);
    }
    if (copy.isNull() || copy.width() > int{LYDVW_PICTURE_SIDE_MAX} ||
        copy.height() > int{LYDVW_PICTURE_SIDE_MAX})
        return std::nullopt;
    docview::PictureBits bits;
    bits.icon = source.type == 3;
    bits.width = static_cast<uint32_t>(copy.width());
    bits.height = static_cast<uint32_t>(copy.height());
    bits.argb.resize(size_t{bits.width} * bits.height);
    for (int y = 0; y < copy.height(); ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(copy.constScanLine(y));
        std::copy(line, line + copy.width(), bits.argb.begin() + static_cast<ptrdiff_t>(y) * copy.width());
    }
    return bits;
}

}  // namespace

CQelWindow::CQelWindow(docview::Cqelctrl& control) : m_control(&control) {
    setFocusPolicy(Qt::StrongFocus);
    // Always covered, by the engine's view or by the placeholder, so no background is filled first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(400, 300);
}

CQelWindow::~CQelWindow() {
    // Still holding its children: the engine's view is destroyed through the contract before Qt would.
    if (m_control)
        m_control->OnDestroy();
}

void CQelWindow::Post(std::function<void()> task) {
    QTimer::singleShot(0, this, std::move(task));
}

void CQelWindow::PlaceView(void* engineWidget) {
    auto* view = static_cast<QWidget*>(engineWidget);
    // A view shown full screen is a window of its own; it takes the control's place again when it returns.
    if (!view || view->isWindow())
        return;
    view->setGeometry(0, 0, width(), height());
    view->show();
}

void CQelWindow::RefreshView(void* engineWidget) {
    if (auto* view = static_cast<QWidget*>(engineWidget))
        view->repaint();
}

void CQelWindow::FocusView(void* engineWidget) {
    if (auto* view = static_cast<QWidget*>(engineWidget))
        view->setFocus(Qt::OtherFocusReason);
}

bool CQelWindow::AmbientUserMode() const {
    const suite::AmbientSite* site = suite::FindAmbientSite(this);
    return !site || site->UserMode();
}

void CQelWindow::Dispose() {
    m_control = nullptr;
    delete this;
}

void CQelWindow::paintEvent(QPaintEvent*) {
    if (!m_control || !m_control->OnPaint())
        return;
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().windowText().color());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("No document viewer"));
}

void CQelWindow::resizeEvent(QResizeEvent*) {
    if (m_control)
        m_control->OnSize();
}

void CQelWindow::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (m_control)
        m_control->OnSetFocus();
}

std::shared_ptr<docview::Cqelctrl> CreateFennickControl(docview::ControlSite site) {
    if (!site.makeWindow)
        site.makeWindow = [](docview::Cqelctrl& control) { return new CQelWindow(control); };
    if (!site.chooseFile)
        site.chooseFile = ChooseFile;
    if (!site.prompt)
        site.prompt = ControlPrompt;
    if (!site.showProperties)
        site.showProperties = ShowPropertyFrame;
    if (!site.pageSurfaces)
        site.pageSurfaces = MakePageSurfaces();
    if (!site.pictureBits)
        site.pictureBits = PictureBitsOf;
    return docview::CreateQelctrl(std::move(site));
}

}  // namespace fennick
