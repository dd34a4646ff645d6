// Page drawing's Qt side.
#include "docview/fennick/page_surfaces.h"

#include <QGuiApplication>
#include <QPicture>
#include <QScreen>
#include <QWidget>

#include "suite/qt/paint_handles.h"
#include "suite/qt/picture_object.h"

namespace fennick {

namespace {

constexpr double kMillimetresPerInch = 25.4;
constexpr double kFallbackPixelsPerInch = 96.0;

class PictureCanvas final : public docview::PageCanvas {
  public:
    void* Device() const override { return static_cast<QPaintDevice*>(&m_picture); }
    const QPicture& Picture() const { return m_picture; }

  private:
    mutable QPicture m_picture;
};

// Pixels per inch from the screen's pixel size and its size in millimetres; its own figure when it does not
// know its size.
double PerInch(int pixels, qreal millimetres, qreal reported) {
    if (pixels > 0 && millimetres > 0)
        return pixels * kMillimetresPerInch / millimetres;
    return reported > 0 ? reported : kFallbackPixelsPerInch;
}

class QtPageSurfaces final : public docview::PageSurfaces {
  public:
    std::shared_ptr<void> DeviceOf(uint32_t handle) override {
        std::shared_ptr<QPaintDevice> device = suite::PaintDeviceFromHandle(handle);
        return std::shared_ptr<void>(device, device.get());
    }
    std::shared_ptr<void> WindowDevice(void* window) override {
        if (!window)
            return nullptr;
        // The window belongs to the control, which outlives the call.
        return std::shared_ptr<void>(static_cast<QPaintDevice*>(static_cast<QWidget*>(window)), [](void*) {});
    }
    std::unique_ptr<docview::PageCanvas> NewCanvas() override { return std::make_unique<PictureCanvas>(); }
    std::pair<double, double> ScreenPixelsPerInch() override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return {kFallbackPixelsPerInch, kFallbackPixelsPerInch};
        const QSize pixels = screen->size();
        const QSizeF millimetres = screen->physicalSize();
        return {PerInch(pixels.width(), millimetres.width(), screen->physicalDotsPerInchX()),
                PerInch(pixels.height(), millimetres.height(), screen->physicalDotsPerInchY())};
    }
    std::shared_ptr<platform::automation::IDispatch> PictureOf(const docview::PageCanvas* canvas,
                                                               docview::MetafileKind kind, int32_t width,
                                                               int32_t height) override {
        const auto* picture = dynamic_cast<const PictureCanvas*>(canvas);
        if (!picture)
            return suite::PictureObject::Empty();
        return suite::PictureObject::FromPicture(picture->Picture(),
                                                 kind == docview::MetafileKind::Enhanced
                                                     ? suite::PictureType::EnhancedMetafile
                                                     : suite::PictureType::Metafile,
                                                 width, height);
    }
};

}  // namespace

std::shared_ptr<docview::PageSurfaces> MakePageSurfaces() {
    return std::make_shared<QtPageSurfaces>();
}

}  // namespace fennick
