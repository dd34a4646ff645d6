// Typed entry and lookup of the handle table's drawing objects. The table keeps each object as the type it
// was added with; the paint-device lookup converts from that type, never from an untyped pointer.
#include "suite/qt/paint_handles.h"

#include <QPrinter>

namespace suite {

using platform::automation::HandleKind;
using platform::automation::HandleTable;

namespace {

template <typename T>
std::shared_ptr<T> Find(uint32_t handle, HandleKind kind) {
    return std::static_pointer_cast<T>(HandleTable::Process().Find(handle, kind));
}

}  // namespace

uint32_t AddPrinterHandle(std::shared_ptr<QPrinter> printer) {
    return HandleTable::Process().Add(HandleKind::Printer, std::move(printer));
}

uint32_t AddPaintDeviceHandle(std::shared_ptr<QPaintDevice> device) {
    return HandleTable::Process().Add(HandleKind::PaintDevice, std::move(device));
}

uint32_t AddImageHandle(std::shared_ptr<QImage> image) {
    return HandleTable::Process().Add(HandleKind::Image, std::move(image));
}

uint32_t AddPictureHandle(std::shared_ptr<QPicture> picture) {
    return HandleTable::Process().Add(HandleKind::Picture, std::move(picture));
}

std::shared_ptr<QPrinter> PrinterFromHandle(uint32_t handle) {
    return Find<QPrinter>(handle, HandleKind::Printer);
}

std::shared_ptr<QImage> ImageFromHandle(uint32_t handle) {
    return Find<QImage>(handle, HandleKind::Image);
}

std::shared_ptr<QPicture> PictureFromHandle(uint32_t handle) {
    return Find<QPicture>(handle, HandleKind::Picture);
}

std::shared_ptr<QPaintDevice> PaintDeviceFromHandle(uint32_t handle) {
    const auto kind = HandleTable::Process().KindOf(handle);
    if (!kind) {
        return nullptr;
    }
    switch (*kind) {
        case HandleKind::Printer:
            return PrinterFromHandle(handle);
        case HandleKind::PaintDevice:
            return Find<QPaintDevice>(handle, HandleKind::PaintDevice);
        case HandleKind::Image:
            return ImageFromHandle(handle);
        case HandleKind::Picture:
            return PictureFromHandle(handle);
    }
    return nullptr;
}

}  // namespace suite
