// The control's page-drawing members: pages drawn into pictures or a host's device, the pages before them
// laid out in order first, and what the last drawing leaves in the page properties.
#include <cmath>
#include <cstdlib>
#include <limits>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/qelctrl.h"

namespace docview {

namespace automation = platform::automation;
using automation::InvokeKind;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

namespace {

// GetDrawPageInfo lays out the pages before the wanted one on a format of this size.
constexpr int32_t kLayoutFormat = 1000;

uint64_t Address(const std::shared_ptr<void>& device) {
    return reinterpret_cast<uint64_t>(device.get());
}

bool Drawn(int64_t answer) {
    return answer == LYDVW_E_OK || answer == LYDVW_E_LAST_PAGE;
}

int32_t Span(int32_t from, int32_t to) {
    return static_cast<int32_t>(std::min<int64_t>(std::llabs(int64_t{to} - from), INT32_MAX));
}

// The format's size on the screen, in pixels.
int32_t ScreenPixels(int32_t units, int32_t unitsPerInch, double pixelsPerInch) {
    const double pixels = std::round(static_cast<double>(units) / unitsPerInch * pixelsPerInch);
    return static_cast<int32_t>(std::clamp(pixels, 0.0, static_cast<double>(INT32_MAX)));
}

}  // namespace

int32_t Cqelctrl::DrawPageInto(const PageRequest& request) {
    if (!RequireView())
        return 0;
    const bool intoDevice = request.into == PageRequest::Into::Device;
    if (request.unitsPerInch <= 0 || request.formatWidth <= 0 || request.formatHeight <= 0 ||
        (intoDevice && (request.outputHandle == 0 || request.formatHandle == 0 ||
                        request.outputHandle == request.formatHandle))) {
        ReportError(2, kErrBadParameter);
        return 0;
    }
    PageSurfaces* surfaces = m_site.pageSurfaces.get();
    if (!surfaces) {
        ReportError(2, kErrNoObject);
        return 0;
    }
    std::shared_ptr<void> output;
    std::shared_ptr<void> format;
    if (intoDevice) {
        output = surfaces->DeviceOf(request.outputHandle);
        format = surfaces->DeviceOf(request.formatHandle);
        if (!output || !format) {
            ReportError(2, kErrBadParameter);
            return 0;
        }
    }

    auto record = Sized<LydvwDrawPage>();
    record.units_per_inch = request.unitsPerInch;
    record.format_width = request.formatWidth;
    record.format_height = request.formatHeight;
    record.target = request.target;
    record.format = Address(format);
    const bool enhanced = request.into == PageRequest::Into::EnhancedMetafile;
    if (enhanced) {
        // Made against the screen: the target is the format's size there.
        const auto [across, down] = surfaces->ScreenPixelsPerInch();
        record.target = LydvwRect{0, 0, ScreenPixels(request.formatHeight, request.unitsPerInch, down),
                                  ScreenPixels(request.formatWidth, request.unitsPerInch, across)};
    }

    // The pages before the wanted one, each on a picture of its own that goes when it is laid out.
    while (m_pages.counter < request.page) {
        record.flags = intoDevice ? request.flags
                       : enhanced ? uint32_t{LYDVW_DRAW_ENHANCED_SKIPPED}
                                  : uint32_t{LYDVW_DRAW_METAFILE_SKIPPED};
        const std::unique_ptr<PageCanvas> throwaway = surfaces->NewCanvas();
        if (!throwaway) {
            ReportError(2, kErrNoObject);
            return 0;
        }
        record.page = m_pages.counter;
        record.layout_only = 1;
        record.output = reinterpret_cast<uint64_t>(throwaway->Device());
        record.result = {};
        record.palette = request.palette;
        const int64_t answer = m_view->Request(LYDVW_R_DRAW_PAGE, record);
        if (!Drawn(answer)) {
            ReportError(2, static_cast<int32_t>(answer));
            return 0;
        }
        ++m_pages.counter;
    }

    std::unique_ptr<PageCanvas> canvas;
    if (intoDevice) {
        record.flags = request.flags;
        record.output = Address(output);
    } else {
        record.flags = enhanced ? LYDVW_DRAW_ENHANCED : LYDVW_DRAW_METAFILE;
        canvas = surfaces->NewCanvas();
        if (!canvas) {
            ReportError(2, kErrNoObject);
            return 0;
        }
        record.output = reinterpret_cast<uint64_t>(canvas->Device());
    }
    record.page = request.page;
    record.layout_only = 0;
    record.result = {};
    record.palette = intoDevice ? request.palette : 0;
    const int64_t answer = m_view->Request(LYDVW_R_DRAW_PAGE, record);
    if (!Drawn(answer)) {
        // The new picture goes with `canvas`; the one kept from before stays.
        ReportError(2, static_cast<int32_t>(answer));
        return 0;
    }
    m_pages.formatWidth = request.formatWidth;
    m_pages.formatHeight = request.formatHeight;
    m_pages.unitsPerInch = request.unitsPerInch;
    m_pages.result = record.result;
    if (!intoDevice) {
        // The picture of the last page drawn replaces whichever was kept.
        m_pages.picture = std::move(canvas);
        if (enhanced) {
            m_pages.kind = MetafileKind::Enhanced;
            m_pages.extentWidth = std::max(0, request.target.right);
            m_pages.extentHeight = std::max(0, request.target.bottom);
        } else {
            m_pages.kind = MetafileKind::Windows;
            m_pages.extentWidth = Span(record.result.left, record.result.right);
            m_pages.extentHeight = Span(record.result.top, record.result.bottom);
        }
        m_pages.palette = record.palette;
    } else if (request.flags & LYDVW_DRAW_KEEP_PALETTE) {
        m_pages.palette = record.palette;
    }
    if (request.page >= m_pages.counter)
        m_pages.counter = request.page == INT32_MAX ? INT32_MAX : request.page + 1;
    return 1;
}

int32_t Cqelctrl::DrawPageInfo(int32_t page, int32_t unitsPerInch, uint32_t outputHandle,
                               uint32_t formatHandle) {
    if (!RequireView())
        return 0;
    if (unitsPerInch <= 0 || (outputHandle != 0 && outputHandle == formatHandle)) {
        ReportError(2, kErrBadParameter);
        return 0;
    }
    PageSurfaces* surfaces = m_site.pageSurfaces.get();
    if (!surfaces) {
        ReportError(2, kErrNoObject);
        return 0;
    }
    std::shared_ptr<void> format = formatHandle != 0
                                       ? surfaces->DeviceOf(formatHandle)
                                       : surfaces->WindowDevice(m_window ? m_window->Widget() : nullptr);
    // Without a device of the host's, the page is measured on a picture that goes with this call.
    std::unique_ptr<PageCanvas> ownOutput;
    std::shared_ptr<void> output;
    if (outputHandle != 0) {
        output = surfaces->DeviceOf(outputHandle);
    } else if ((ownOutput = surfaces->NewCanvas())) {
        output = std::shared_ptr<void>(ownOutput->Device(), [](void*) {});
    }
    if ((outputHandle != 0 && !output) || (formatHandle != 0 && !format)) {
        ReportError(2, kErrBadParameter);
        return 0;
    }
    if (!format || !output) {
        ReportError(2, kErrNoObject);
        return 0;
    }

    auto info = Sized<LydvwDrawInfo>();
    info.units_per_inch = unitsPerInch;
    info.format = Address(format);
    while (m_pages.counter < page) {
        std::unique_ptr<PageCanvas> throwaway = surfaces->NewCanvas();
        if (!throwaway) {
            ReportError(2, kErrNoObject);
            return 0;
        }
        info.page = m_pages.counter;
        info.output = reinterpret_cast<uint64_t>(throwaway->Device());
        int64_t answer = m_view->Request(LYDVW_R_DRAW_INFO, info);
        if (answer == LYDVW_E_OK) {
            auto layout = Sized<LydvwDrawPage>();
            layout.page = m_pages.counter;
            layout.layout_only = 1;
            layout.flags = LYDVW_DRAW_LAYOUT;
            layout.units_per_inch = unitsPerInch;
            layout.format_width = kLayoutFormat;
            layout.format_height = kLayoutFormat;
            layout.output = info.output;
            layout.format = info.format;
            answer = m_view->Request(LYDVW_R_DRAW_PAGE, layout);
        }
        if (!Drawn(answer)) {
            ReportError(2, static_cast<int32_t>(answer));
            return 0;
        }
        ++m_pages.counter;
    }
    info.page = page;
    info.output = Address(output);
    info.format_width = 0;
    info.format_height = 0;
    const int64_t answer = m_view->Request(LYDVW_R_DRAW_INFO, info);
    if (answer != LYDVW_E_OK) {
        ReportError(2, static_cast<int32_t>(answer));
        return 0;
    }
    m_pages.formatWidth = info.format_width;
    m_pages.formatHeight = info.format_height;
    m_pages.unitsPerInch = unitsPerInch;
    return 1;
}

bool Cqelctrl::BindPageMember(const MemberSpec& member) {
    automation::DispatchTable& table = Table();
    const std::string name(member.name);
    const automation::DISPID id = member.dispid;
    const auto method = [&](std::function<int32_t(std::span<const Variant>)> body) {
        std::vector<ParamSpec> params;
        for (size_t i = 0; i < member.ParamCount(); ++i)
            params.emplace_back(member.params[i] == Type::I2 ? VarType::I2 : VarType::I4);
        const VarType result = member.type == Type::None ? VarType::Empty : VarType::I4;
        table.Add({name, id, InvokeKind::Method, std::move(params), result, nullptr,
                   [body = std::move(body), result](std::span<const Variant> args, Variant& out) {
                       const int32_t value = body(args);
                       if (result != VarType::Empty)
                           out = Variant::I4(value);
                       return automation::S_OK;
                   }});
    };
    const auto get = [&](std::function<Variant()> getter) {
        const VarType kind = member.type == Type::Picture ? VarType::Dispatch : VarType::I4;
        table.Add({name,
                   id,
                   InvokeKind::PropertyGet,
                   {},
                   kind,
                   [getter = std::move(getter)](std::span<const Variant>) { return getter(); }});
    };
    const auto handle = [](const Variant& value) { return static_cast<uint32_t>(value.AsI4()); };
    const auto rect = [](std::span<const Variant> args, size_t first) {
        return LydvwRect{args[first].AsI4(), args[first + 1].AsI4(), args[first + 2].AsI4(),
                         args[first + 3].AsI4()};
    };

    const std::string_view n = member.name;
    if (n == "InitDrawPage") {
        method([this](std::span<const Variant>) {
            if (!RequireView())
                return 0;
            m_pages.counter = 0;
            const int64_t answer = m_view->Request(LYDVW_R_INIT_DRAW);
            if (answer != LYDVW_E_OK) {
                ReportError(2, static_cast<int32_t>(answer));
                return 0;
            }
            return 1;
        });
    } else if (n == "DeinitDrawPage") {
        method([this](std::span<const Variant>) {
            if (RequireView()) {
                m_pages.counter = 0;
                m_view->Request(LYDVW_R_END_DRAW);
            }
            return 0;
        });
    } else if (n == "DrawPage" || n == "ExtDrawPage") {
        const bool ext = n == "ExtDrawPage";
        method([this, ext, rect](std::span<const Variant> args) {
            if (!RequireView())
                return 0;
            const int16_t format = ext ? args[8].AsI2() : int16_t{2};
            if (format != 1 && format != 2)
                return 1;
            PageRequest request;
            request.into =
                format == 1 ? PageRequest::Into::WindowsMetafile : PageRequest::Into::EnhancedMetafile;
            request.page = args[0].AsI4();
            request.target = rect(args, 1);
            request.formatWidth = args[5].AsI4();
            request.formatHeight = args[6].AsI4();
            request.unitsPerInch = args[7].AsI2();
            return DrawPageInto(request);
        });
    } else if (n == "DrawPageEx") {
        method([this, rect, handle](std::span<const Variant> args) {
            PageRequest request;
            request.into = PageRequest::Into::Device;
            request.page = args[0].AsI4();
            request.flags = static_cast<uint32_t>(args[1].AsI4());
            request.target = rect(args, 2);
            // Height before width, as the method takes them.
            request.formatHeight = args[6].AsI4();
            request.formatWidth = args[7].AsI4();
            request.unitsPerInch = args[8].AsI2();
            request.outputHandle = handle(args[9]);
            request.formatHandle = handle(args[10]);
            request.palette = handle(args[11]);
            return DrawPageInto(request);
        });
    } else if (n == "GetDrawPageInfo") {
        method([this, handle](std::span<const Variant> args) {
            return DrawPageInfo(args[0].AsI4(), args[1].AsI2(), handle(args[2]), handle(args[3]));
        });
    } else if (n == "PageFormatWidth") {
        get([this] { return Variant::I4(m_pages.formatWidth); });
    } else if (n == "PageFormatHeight") {
        get([this] { return Variant::I4(m_pages.formatHeight); });
    } else if (n == "PageUnitsPerInch") {
        get([this] { return Variant::I4(m_pages.unitsPerInch); });
    } else if (n == "PageResultTop") {
        get([this] { return Variant::I4(m_pages.result.top); });
    } else if (n == "PageResultLeft") {
        get([this] { return Variant::I4(m_pages.result.left); });
    } else if (n == "PageResultBottom") {
        get([this] { return Variant::I4(m_pages.result.bottom); });
    } else if (n == "PageResultRight") {
        get([this] { return Variant::I4(m_pages.result.right); });
    } else if (n == "PagePaletteHandle") {
        get([this] { return Variant::I4(static_cast<int32_t>(m_pages.palette)); });
    } else if (n == "PagePicture") {
        get([this] {
            std::shared_ptr<automation::IDispatch> picture;
            if (m_site.pageSurfaces) {
                picture = m_site.pageSurfaces->PictureOf(m_pages.picture.get(), m_pages.kind,
                                                         m_pages.extentWidth, m_pages.extentHeight);
            }
            if (!picture)
                ReportError(2, kErrNoObject);
            return Variant::Dispatch(std::move(picture));
        });
    } else {
        return false;
    }
    return true;
}

}  // namespace docview
