// The control's seven property pages as page tables: which dialog control edits which property, how a
// list position stands for a value and which bit each box of a group is. Apply writes every row of a page.
#pragma once

#include <span>

#include "platform/automation/page_model.h"

namespace docview {

using platform::automation::PageDefinition;

// In tab order: Viewing, Database, Misc, Image, Word Processing, Printing, Spreadsheet.
std::span<const PageDefinition* const> ControlPages();
const PageDefinition& ViewingPage();
const PageDefinition& DatabasePage();
const PageDefinition& MiscPage();
const PageDefinition& ImagePage();
const PageDefinition& WordProcessingPage();
const PageDefinition& PrintingPage();
const PageDefinition& SpreadsheetPage();

// The ids of the two bit groups of the Misc page, which have no dialog control of their own.
inline constexpr int32_t kDialogFlagsGroup = -1;
inline constexpr int32_t kClipboardFormatGroup = -2;

}  // namespace docview
