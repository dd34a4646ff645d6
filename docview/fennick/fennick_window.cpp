// The control's window, its file dialog and its message boxes on Qt.
#include "docview/fennick/fennick_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "docview/fennick/page_surfaces.h"
#include "docview/page_tables.h"
#include "suite/qt/ambient_site.h"
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
    return docview::CreateQelctrl(std::move(site));
}

}  // namespace fennick
