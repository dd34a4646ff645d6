// The drawing objects of the handle table, typed: a host registers its QPrinter, paint device or image and
// passes the number; the control finds the object again. Printers, images and pictures are paint devices
// too, so a device-context handle may name any of them.
#pragma once

#include <QImage>
#include <QPaintDevice>
#include <QPicture>
#include <cstdint>
#include <memory>

#include "platform/automation/handle_table.h"

class QPrinter;

namespace suite {

uint32_t AddPrinterHandle(std::shared_ptr<QPrinter> printer);
uint32_t AddPaintDeviceHandle(std::shared_ptr<QPaintDevice> device);
uint32_t AddImageHandle(std::shared_ptr<QImage> image);
uint32_t AddPictureHandle(std::shared_ptr<QPicture> picture);

// Null for an unknown handle or one of another kind; the pointer keeps the object alive while it is used.
std::shared_ptr<QPrinter> PrinterFromHandle(uint32_t handle);
std::shared_ptr<QImage> ImageFromHandle(uint32_t handle);
std::shared_ptr<QPicture> PictureFromHandle(uint32_t handle);
// Any of the four kinds.
std::shared_ptr<QPaintDevice> PaintDeviceFromHandle(uint32_t handle);

}  // namespace suite
