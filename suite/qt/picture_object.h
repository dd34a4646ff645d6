// The picture object a control hands a host for a drawn page or an image: its dispatch interface answers
// Handle, Type, Width and Height (the extent in HIMETRIC, hundredths of a millimetre). A vector picture is a
// QPicture tagged with the metafile kind it stands for; a bitmap is a QImage. The picture owns its handle in
// the handle table, so the handle names its content for as long as the picture lives.
#pragma once

#include <QImage>
#include <QPicture>
#include <cstdint>
#include <memory>

#include "platform/automation/dispatch_object.h"
#include "platform/automation/handle_table.h"

namespace suite {

using platform::automation::Guid;

inline constexpr Guid IID_IPictureDisp = Guid::FromLiteral("{7BF80981-BF32-101A-8BBB-00AA00300CAB}");

// The picture types as hosts test them.
enum class PictureType : int16_t { None = 0, Bitmap = 1, Metafile = 2, Icon = 3, EnhancedMetafile = 4 };

namespace picture_dispid {
inline constexpr platform::automation::DISPID Handle = 0;
inline constexpr platform::automation::DISPID Type = 3;
inline constexpr platform::automation::DISPID Width = 4;
inline constexpr platform::automation::DISPID Height = 5;
}  // namespace picture_dispid

class PictureObject final : public platform::automation::DispatchObject {
  public:
    // A picture of no type: handle 0, no extent.
    static std::shared_ptr<PictureObject> Empty();
    // `kind` is Metafile or EnhancedMetafile (another kind is taken as Metafile); the extent is the one the
    // drawing was made for.
    static std::shared_ptr<PictureObject> FromPicture(QPicture picture, PictureType kind,
                                                      int32_t widthHimetric, int32_t heightHimetric);
    // The extent from the image's size and its resolution (96 dots per inch when it has none).
    static std::shared_ptr<PictureObject> FromImage(QImage image);

    PictureType Type() const { return m_type; }
    uint32_t Handle() const { return m_handle.Get(); }
    int32_t WidthHimetric() const { return m_width; }
    int32_t HeightHimetric() const { return m_height; }
    // Null unless the picture is of that form.
    const QPicture* Picture() const { return m_picture.get(); }
    const QImage* Image() const { return m_image.get(); }

    PictureObject(PictureType type, std::shared_ptr<QPicture> picture, std::shared_ptr<QImage> image,
                  int32_t width, int32_t height);

  private:
    PictureType m_type;
    std::shared_ptr<QPicture> m_picture;
    std::shared_ptr<QImage> m_image;
    int32_t m_width;
    int32_t m_height;
    platform::automation::ScopedHandle m_handle;
};

}  // namespace suite
