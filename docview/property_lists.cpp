// The lists of predefined values by property, in list order.
#include "docview/property_lists.h"

#include <array>

namespace docview {

using platform::automation::BrowseEntry;
using platform::automation::BrowseList;
using platform::automation::DISPID;
using platform::automation::VarType;

namespace {

constexpr DISPID kSwitches[] = {2,   5,   12,  13,  20,  27,  28,  35,  59,  65,  66,
                                67,  70,  71,  74,  79,  126, 135, 145, 146, 147, 148,
                                151, 152, 153, 154, 155, 156, 158, 161, 165, 166};
constexpr BrowseEntry kTrueFalse[] = {{20483, 1}, {20484, 0}};

constexpr DISPID kBmpFitMode[] = {8};
constexpr BrowseEntry kBmpFits[] = {{20496, 1}, {20497, 2}, {20498, 3}, {20499, 4}};
constexpr DISPID kVecFitMode[] = {9};
constexpr BrowseEntry kVecFits[] = {{20496, 1}, {20497, 2}, {20498, 3}, {20499, 4}, {20500, 5}};
constexpr DISPID kPrintAspects[] = {10, 11};
constexpr BrowseEntry kAspects[] = {{20512, 1}, {20513, 2}};
constexpr DISPID kBmpRotation[] = {7};
constexpr BrowseEntry kRotations[] = {{20592, 0}, {20593, 90}, {20594, 180}, {20595, 270}};
constexpr DISPID kClipboards[] = {143, 144};
constexpr BrowseEntry kClipFormats[] = {{20528, 0}, {20530, 1}, {20529, 2}};
constexpr DISPID kDbPrintFit[] = {149};
constexpr BrowseEntry kDbFits[] = {{20608, 0}, {20609, 1}, {20610, 2}, {20611, 3}};
constexpr DISPID kSsPrintFit[] = {150};
constexpr BrowseEntry kSsFits[] = {{20672, 0}, {20676, 4}, {20677, 5}};
constexpr DISPID kSsPrintDirection[] = {139};
constexpr BrowseEntry kDirections[] = {{20618, 0}, {20619, 1}};
constexpr DISPID kWpDisplayMode[] = {18};
constexpr BrowseEntry kDisplayModes[] = {{20560, 1}, {20561, 2}, {20562, 3}};
constexpr DISPID kWpFitMode[] = {19};
constexpr BrowseEntry kWpFits[] = {{20496, 1}, {20497, 2}, {20499, 4}};
constexpr DISPID kArchiveSortOrder[] = {21};
constexpr BrowseEntry kSortOrders[] = {{20576, 1}, {20577, 2}, {20578, 3}, {20579, 4}};
constexpr DISPID kFallbackFormat[] = {31};
// The two Cyrillic entries stand for the numbers their labels show, so that a list position, its cookie and
// the value written agree (the ANSI text's id comes after the KOI8-R one in the table).
constexpr BrowseEntry kFallbacks[] = {{20624, 0},  {20625, 1},  {20626, 2},  {20627, 3},  {20628, 4},
                                      {20629, 5},  {20630, 6},  {20631, 7},  {20632, 8},  {20633, 9},
                                      {20634, 10}, {20635, 11}, {20636, 12}, {20637, 13}, {20638, 14},
                                      {20640, 15}, {20639, 16}};
constexpr DISPID kShortDateOrder[] = {54};
constexpr BrowseEntry kDateOrders[] = {{20896, 0}, {20897, 1}, {20898, 2}};
constexpr DISPID kWhatToPrint[] = {78};
constexpr BrowseEntry kPrintWhat[] = {{20656, 1}, {20657, 2}, {20658, 3}, {20659, 4}};

const std::array<BrowseList, 15> kLists = {{
    {kSwitches, VarType::I4, kTrueFalse},
    {kBmpFitMode, VarType::I2, kBmpFits},
    {kVecFitMode, VarType::I2, kVecFits},
    {kPrintAspects, VarType::I2, kAspects},
    {kBmpRotation, VarType::I2, kRotations},
    {kClipboards, VarType::I2, kClipFormats},
    {kDbPrintFit, VarType::I2, kDbFits},
    {kSsPrintFit, VarType::I2, kSsFits},
    {kSsPrintDirection, VarType::I2, kDirections},
    {kWpDisplayMode, VarType::I2, kDisplayModes},
    {kWpFitMode, VarType::I2, kWpFits},
    {kArchiveSortOrder, VarType::I2, kSortOrders},
    {kFallbackFormat, VarType::I2, kFallbacks},
    {kShortDateOrder, VarType::I2, kDateOrders},
    {kWhatToPrint, VarType::I2, kPrintWhat},
}};

}  // namespace

std::span<const BrowseList> PropertyLists() {
    return kLists;
}

}  // namespace docview
