// The page tables of the control's property pages, rows in the order Apply writes them.
#include "docview/page_tables.h"

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/property_lists.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace docview {

using platform::automation::FieldKind;
using platform::automation::Guid;
using platform::automation::NumberKind;
using platform::automation::PageBit;
using platform::automation::PageField;
using platform::automation::Variant;

namespace {

PageField Field(int32_t id, std::string label, FieldKind kind, std::string property, Variant initial) {
    PageField field;
    field.id = id;
    field.label = std::move(label);
    field.kind = kind;
    field.property = std::move(property);
    field.initial = std::move(initial);
    return field;
}

PageField Check(int32_t id, std::string label, std::string property) {
    PageField field =
        Field(id, std::move(label), FieldKind::Check, std::move(property), Variant::Bool(false));
    field.checkAsInteger = true;
    return field;
}

PageField Number(int32_t id, std::string label, std::string property, NumberKind width) {
    PageField field = Field(id, std::move(label), FieldKind::Number, std::move(property), Variant::I4(0));
    field.number = width;
    return field;
}

PageField Margin(int32_t id, std::string label, std::string property) {
    return Field(id, std::move(label), FieldKind::Float, std::move(property), Variant::R4(0));
}

PageField Text(int32_t id, std::string label, std::string property) {
    return Field(id, std::move(label), FieldKind::Text, std::move(property), Variant::Bstr(""));
}

// The control's own strings of a property's list, for an object that offers no browsing of its own.
std::vector<std::string> OwnStrings(std::string_view property) {
    std::vector<std::string> strings;
    const MemberSpec* member = FindMember(property);
    platform::automation::CPropertyBrowsing browsing(
        PropertyLists(), [](int32_t id) { return LoadControlString(id, kBrowseTextChars); }, nullptr);
    std::vector<uint32_t> cookies;
    if (member) {
        browsing.GetPredefinedStrings(member->dispid, &strings, &cookies);
    }
    return strings;
}

// A list filled from the control's browsing strings; `values` is what each position writes. -1 is no value of
// any list, so a property the object lacks shows no selection.
PageField List(int32_t id, std::string label, std::string property, std::vector<int32_t> values,
               NumberKind width = NumberKind::Int16) {
    PageField field = Field(id, std::move(label), FieldKind::List, std::move(property), Variant::I4(-1));
    field.listValues = std::move(values);
    field.browse = true;
    field.choices = OwnStrings(field.property);
    field.number = width;
    return field;
}

PageField Font(int32_t id, int32_t buttonId, std::string label, std::string property) {
    PageField field = Field(id, std::move(label), FieldKind::Font, std::move(property), Variant());
    field.buttonId = buttonId;
    return field;
}

PageField Bits(int32_t id, std::string label, std::string property, NumberKind width,
               std::vector<PageBit> bits, bool setWhenClear) {
    PageField field = Field(id, std::move(label), FieldKind::Bits, std::move(property), Variant::I4(0));
    field.number = width;
    field.bits = std::move(bits);
    field.bitsSetWhenClear = setWhenClear;
    return field;
}

PageDefinition Page(std::string className, std::string name, const char* clsid, std::string caption,
                    int32_t dialogId, std::vector<PageField> fields) {
    PageDefinition page;
    page.className = std::move(className);
    page.clsid = *Guid::Parse(clsid);
    page.progId = name + "." + name + ".1";
    page.registrationName = name + " Class";
    page.caption = std::move(caption);
    page.dialogId = dialogId;
    page.fields = std::move(fields);
    page.writeEveryRow = true;
    return page;
}

std::vector<int32_t> Range(int32_t first, int32_t last) {
    std::vector<int32_t> values;
    for (int32_t v = first; v <= last; ++v) {
        values.push_back(v);
    }
    return values;
}

}  // namespace

const PageDefinition& ViewingPage() {
    static const PageDefinition page = Page(
        "CPropView", "PropView", "{19D90432-853B-4B09-9DC4-2D68C9445EDA}", "&Viewing", 111,
        {Check(1000, "Horizontal", "HScrollbar"), Check(1001, "Vertical", "VScrollbar"),
         Check(240, "Archive Sort Desc.", "ArchiveSortDescending"),
         List(1046, "Archive Sort Order:", "ArchiveSortOrder", Range(1, 4)),
         Check(1042, "System Unicode", "SystemUnicode"), Check(1047, "Enable Drag N Drop", "EnableDragNDrop"),
         List(1008, "FallbackFormat:", "FallbackFormat", Range(0, 16)),
         Number(239, "Font Scaling Factor:", "FontScalingFactor", NumberKind::Int16),
         Font(206, 205, "Display", "DisplayFont"), Font(207, 204, "Clipboard", "ClipFont"),
         Font(208, 203, "Print", "PrintFont")});
    return page;
}

const PageDefinition& DatabasePage() {
    static const PageDefinition page = Page(
        "CDBOpt", "DBOpt", "{9B4B3A21-02C1-4E96-B904-F8D4A251A894}", "&Database", 116,
        {Check(1024, "Draft Mode", "DBDraftMode"), Check(1028, "Show Gridlines", "DBShowGridLines"),
         Check(1030, "Print Gridlines", "DBPrintGridLines"), Check(1027, "Print Headings", "DBPrintHeadings"),
         Check(1029, "Field Names To Clip", "DBFieldNamesToClip"),
         List(1026, "Print Fit Mode:", "DBPrintFit", Range(0, 3)),
         List(1023, "Clipboard Format:", "DBClipboard", Range(0, 2))});
    return page;
}

const PageDefinition& MiscPage() {
    static const PageDefinition page =
        Page("CEventPpg", "EventPpg", "{9B4B3A23-02C1-4E96-B904-F8D4A251A894}", "&Misc", 121,
             {Check(1039, "Show Error Messages", "ErrorShowMsg"),
              Check(1044, "Show Context Menu", "DoContextMenu"),
              Check(1041, "System Read Ahead", "SystemReadAhead"),
              Check(1043, "System Raw Text", "SystemRawText"), Check(1040, "System Timer", "SystemTimer"),
              Bits(kDialogFlagsGroup, "Dialog Flags", "DialogFlags", NumberKind::Int16,
                   {{1030, "Help", 0x1},
                    {1038, "More", 0x2},
                    {1031, "3D", 0x4},
                    {1034, "Do Options", 0x8},
                    {1035, "Display to Menu", 0x10},
                    {1036, "Print to Menu", 0x20},
                    {1037, "ClpBd to Menu", 0x40},
                    {1033, "Do Print", 0x80},
                    {1032, "Do Copy", 0x100}},
                   true),
              Bits(kClipboardFormatGroup, "Clipboard Format", "ToClipboard", NumberKind::Int32,
                   {{210, "Text", 0x1},
                    {211, "RTF", 0x2},
                    {212, "BMP", 0x80},
                    {213, "DIB", 0x100},
                    {214, "WMF", 0x400},
                    {101, "Palette", 0x200}},
                   false),
              Text(241, "Resource Library ID:", "ResourceLibraryID")});
    return page;
}

const PageDefinition& ImagePage() {
    static const PageDefinition page = [] {
        PageField rotation = List(1019, "BMP Rotation:", "BMPRotation", {0, 90, 180, 270});
        rotation.browse = false;  // the page's own steps of 90
        rotation.choices = {"0", "90", "180", "270"};
        return Page(
            "CImageOpt", "ImageOpt", "{9B4B3A24-02C1-4E96-B904-F8D4A251A894}", "&Image", 126,
            {Check(1016, "Vector Show Bkgd", "VecShowBackground"),
             Check(1018, "Vector Print Bkgd", "VecPrintBackground"),
             Check(1034, "Print Border", "BMPPrintBorder"), Check(1032, "Print Border", "VECPrintBorder"),
             Check(1017, "BMP Dither", "BMPDither"), List(1013, "Fit Mode:", "BMPFitMode", Range(1, 4)),
             List(1012, "Fit Mode:", "VECFitMode", Range(1, 5)),
             List(1035, "Print Aspect:", "BMPPrintAspect", Range(1, 2)),
             List(1033, "Print Aspect:", "VECPrintAspect", Range(1, 2)), rotation,
             Number(1014, "X Zoom %:", "IMGXZoomPercent", NumberKind::Int32),
             Number(1015, "Y Zoom %:", "IMGYZoomPercent", NumberKind::Int32)});
    }();
    return page;
}

const PageDefinition& WordProcessingPage() {
    static const PageDefinition page =
        Page("CWPOpt", "WPOpt", "{9B4B3A25-02C1-4E96-B904-F8D4A251A894}", "&Word Processing", 131,
             {Check(1022, "Wrap to Window", "WPWrapToWindow"),
              List(1020, "Display Mode:", "WPDisplayMode", Range(1, 3)),
              List(1021, "Preview Fit Mode:", "WPFitMode", {1, 2, 4})});
    return page;
}

const PageDefinition& PrintingPage() {
    static const PageDefinition page = Page(
        "CPrintPpg", "PrintPpg", "{95E781B1-1BF1-48F8-96BE-F3E8526D0498}", "&Printing", 138,
        {Check(216, "Print Collate", "PrintCollate"),
         Check(217, "Use Doc Page Settings", "UseDocPageSettings"),
         Check(242, "International Flag", "IntlFlag"),
         Number(219, "Print Copies", "PrintCopies", NumberKind::Int16),
         Number(1009, "Print Start Page", "PrintStartPage", NumberKind::Int32),
         Number(220, "Print End Page", "PrintEndPage", NumberKind::Int32),
         Margin(225, "Top", "PrintMarginTop"), Margin(226, "Bottom", "PrintMarginBottom"),
         Margin(227, "Left", "PrintMarginLeft"), Margin(228, "Right", "PrintMarginRight"),
         Text(223, "Printer Driver", "PrinterDriver"), Text(222, "Printer Name", "PrinterName"),
         Text(224, "Printer Port", "PrinterPort"), List(218, "What To Print:", "WhatToPrint", Range(1, 4))});
    return page;
}

const PageDefinition& SpreadsheetPage() {
    static const PageDefinition page = Page(
        "CSSPpg", "SSPpg", "{C4939281-60F9-4B94-B0A0-39CBFA751740}", "&Spreadsheet", 147,
        {Check(229, "Draft Mode", "SSDraftMode"), Check(231, "Show Gridlines", "SSShowGridLines"),
         Check(230, "Print Gridlines", "SSPrintGridLines"), Check(232, "Print Headings", "SSPrintHeadings"),
         Check(235, "Row Column Names To Clip", "SSRowColNamesToClip"),
         List(233, "Clipboard Format:", "SSClipboard", Range(0, 2)),
         List(236, "Print Direction:", "SSPrintDirection", Range(0, 1), NumberKind::Int32),
         Number(237, "Print Scale Percent:", "SSPrintScalePercent", NumberKind::Int32),
         Number(238, "Print Scale XHigh:", "SSPrintScaleXHigh", NumberKind::Int32),
         Number(1009, "Print Scale XWide:", "SSPrintScaleXWide", NumberKind::Int32),
         List(234, "Print Fit Mode:", "SSPrintFit", {0, 4, 5})});
    return page;
}

std::span<const PageDefinition* const> ControlPages() {
    static const std::array<const PageDefinition*, 7> pages = {
        &ViewingPage(),        &DatabasePage(), &MiscPage(),       &ImagePage(),
        &WordProcessingPage(), &PrintingPage(), &SpreadsheetPage()};
    return pages;
}

}  // namespace docview
