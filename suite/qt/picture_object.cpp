// The picture object's members and its extent from an image's resolution.
#include "suite/qt/picture_object.h"

#include <cmath>

namespace suite {

using platform::automation::DispatchTable;
using platform::automation::HandleKind;
using platform::automation::Variant;
using platform::automation::VarType;

namespace {

// Hundredths of a millimetre for `pixels` at `dotsPerMeter` (a metre is 100000 of them).
int32_t Himetric(int pixels, int dotsPerMeter) {
    if (dotsPerMeter <= 0) {
        dotsPerMeter = 3780;  // 96 dots per inch
    }
    return static_cast<int32_t>(std::lround(static_cast<double>(pixels) * 100000.0 / dotsPerMeter));
}

}  // namespace

PictureObject::PictureObject(PictureType type, std::shared_ptr<QPicture> picture,
                             std::shared_ptr<QImage> image, int32_t width, int32_t height)
    : DispatchObject({}, {IID_IPictureDisp}),
      m_type(type),
      m_picture(std::move(picture)),
      m_image(std::move(image)),
      m_width(width),
      m_height(height) {
    if (m_picture) {
        m_handle = platform::automation::ScopedHandle(HandleKind::Picture, m_picture);
    } else if (m_image) {
        m_handle = platform::automation::ScopedHandle(HandleKind::Image, m_image);
    }
    // Read-only, as a host's picture properties are.
    Table()
        .Property(
            "Handle", picture_dispid::Handle, VarType::I4,
            [this] { return Variant::I4(static_cast<int32_t>(Handle())); }, nullptr)
        .Property(
            "Type", picture_dispid::Type, VarType::I2,
            [this] { return Variant::I2(static_cast<int16_t>(m_type)); }, nullptr)
        .Property(
            "Width", picture_dispid::Width, VarType::I4, [this] { return Variant::I4(m_width); }, nullptr)
        .Property(
            "Height", picture_dispid::Height, VarType::I4, [this] { return Variant::I4(m_height); }, nullptr);
}

std::shared_ptr<PictureObject> PictureObject::Empty() {
    return std::make_shared<PictureObject>(PictureType::None, nullptr, nullptr, 0, 0);
}

std::shared_ptr<PictureObject> PictureObject::FromPicture(QPicture picture, PictureType kind,
                                                          int32_t widthHimetric, int32_t heightHimetric) {
    if (kind != PictureType::EnhancedMetafile) {
        kind = PictureType::Metafile;
    }
    return std::make_shared<PictureObject>(kind, std::make_shared<QPicture>(std::move(picture)), nullptr,
                                           widthHimetric, heightHimetric);
}

std::shared_ptr<PictureObject> PictureObject::FromImage(QImage image) {
    const int32_t width = Himetric(image.width(), image.dotsPerMeterX());
    const int32_t height = Himetric(image.height(), image.dotsPerMeterY());
    return std::make_shared<PictureObject>(PictureType::Bitmap, nullptr,
                                           std::make_shared<QImage>(std::move(image)), width, height);
}

}  // namespace suite
