// Picture objects and typed drawing handles: the four members through dispatch for each form, the handle
// naming the picture's own content while it lives, and lookups that never hand out an object of another
// kind.
#include "suite/qt/picture_object.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPrinter>

#include "suite/qt/paint_handles.h"

namespace suite {
namespace {

using platform::automation::DISPID;
using platform::automation::InvokeKind;
using platform::automation::S_OK;
using platform::automation::Variant;

int32_t Get(PictureObject& picture, const char* name) {
    DISPID id = -1;
    EXPECT_EQ(picture.GetIDOfName(name, id), S_OK) << name;
    Variant value;
    EXPECT_EQ(picture.Invoke(id, InvokeKind::PropertyGet, {}, &value, nullptr), S_OK) << name;
    return value.AsI4();
}

QPicture Drawing() {
    QPicture picture;
    QPainter painter(&picture);
    painter.fillRect(QRect(0, 0, 50, 20), Qt::red);
    return picture;
}

QImage Bitmap(int dotsPerMeter) {
    QImage image(200, 100, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return image;
}

struct PictureCase {
    const char* name;
    std::function<std::shared_ptr<PictureObject>()> make;
    PictureType type;
    int32_t width;
    int32_t height;
};

const PictureCase kPictures[] = {
    {"Empty", [] { return PictureObject::Empty(); }, PictureType::None, 0, 0},
    {"Metafile", [] { return PictureObject::FromPicture(Drawing(), PictureType::Metafile, 27940, 21590); },
     PictureType::Metafile, 27940, 21590},
    {"EnhancedMetafile",
     [] { return PictureObject::FromPicture(Drawing(), PictureType::EnhancedMetafile, 1000, 500); },
     PictureType::EnhancedMetafile, 1000, 500},
    {"OtherKindIsAMetafile", [] { return PictureObject::FromPicture(Drawing(), PictureType::Icon, 1, 2); },
     PictureType::Metafile, 1, 2},
    // 200 pixels at 96 dots per inch are 52.9 mm; at 100 dots per centimetre 20 mm.
    {"BitmapAt96Dpi", [] { return PictureObject::FromImage(Bitmap(3780)); }, PictureType::Bitmap, 5291, 2646},
    {"BitmapAt254Dpi", [] { return PictureObject::FromImage(Bitmap(10000)); }, PictureType::Bitmap, 2000,
     1000},
};

class PictureObjectTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(PictureObjectTest, AnswersTypeHandleAndExtent) {
    const PictureCase& c = GetParam();
    const auto picture = c.make();
    EXPECT_EQ(Get(*picture, "Type"), static_cast<int32_t>(c.type));
    EXPECT_EQ(Get(*picture, "Width"), c.width);
    EXPECT_EQ(Get(*picture, "height"), c.height);
    const auto handle = static_cast<uint32_t>(Get(*picture, "Handle"));
    EXPECT_EQ(handle, picture->Handle());

    switch (c.type) {
        case PictureType::None:
            EXPECT_EQ(handle, 0u);
            EXPECT_EQ(PaintDeviceFromHandle(handle), nullptr);
            break;
        case PictureType::Bitmap:
            EXPECT_EQ(ImageFromHandle(handle).get(), picture->Image());
            EXPECT_EQ(PictureFromHandle(handle), nullptr);
            EXPECT_EQ(picture->Image()->pixel(3, 3), QColor(Qt::blue).rgb());
            break;
        default:
            EXPECT_EQ(PictureFromHandle(handle).get(), picture->Picture());
            EXPECT_EQ(picture->Picture()->boundingRect(), QRect(0, 0, 50, 20));
            EXPECT_EQ(ImageFromHandle(handle), nullptr);
            break;
    }
    if (handle != 0) {
        EXPECT_NE(PaintDeviceFromHandle(handle), nullptr);
    }

    const Variant width[] = {Variant::I4(1)};
    EXPECT_TRUE(platform::automation::Failed(
        picture->Invoke(picture_dispid::Width, InvokeKind::PropertyPut, width, nullptr, nullptr)))
        << "the extent is read-only";
    std::shared_ptr<void> disp;
    EXPECT_EQ(picture->QueryInterface(IID_IPictureDisp, disp), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Table, PictureObjectTest, ::testing::ValuesIn(kPictures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PictureObjectTest, TheHandleGoesWithThePicture) {
    auto picture = PictureObject::FromImage(Bitmap(3780));
    const uint32_t handle = picture->Handle();
    ASSERT_NE(ImageFromHandle(handle), nullptr);
    picture.reset();
    EXPECT_EQ(ImageFromHandle(handle), nullptr);
    EXPECT_EQ(PaintDeviceFromHandle(handle), nullptr);
}

TEST(PaintHandlesTest, EachKindIsFoundAsItselfAndAsAPaintDevice) {
    auto printer = std::make_shared<QPrinter>();
    auto image = std::make_shared<QImage>(Bitmap(3780));
    auto picture = std::make_shared<QPicture>(Drawing());
    auto device = std::make_shared<QImage>(Bitmap(3780));
    const uint32_t p = AddPrinterHandle(printer);
    const uint32_t i = AddImageHandle(image);
    const uint32_t q = AddPictureHandle(picture);
    const uint32_t d = AddPaintDeviceHandle(device);

    EXPECT_EQ(PrinterFromHandle(p), printer);
    EXPECT_EQ(PrinterFromHandle(i), nullptr);
    EXPECT_EQ(ImageFromHandle(p), nullptr);
    EXPECT_EQ(ImageFromHandle(d), nullptr) << "a plain paint device is no image, whatever it really is";
    struct Case {
        uint32_t handle;
        QPaintDevice* expected;
    };
    for (const Case& c : {Case{p, printer.get()}, Case{i, image.get()}, Case{q, picture.get()},
                          Case{d, device.get()}, Case{0, nullptr}}) {
        EXPECT_EQ(PaintDeviceFromHandle(c.handle).get(), c.expected) << c.handle;
    }
    for (uint32_t handle : {p, i, q, d}) {
        EXPECT_TRUE(platform::automation::HandleTable::Process().Remove(handle));
    }
}

}  // namespace
}  // namespace suite
