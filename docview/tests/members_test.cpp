// The member table: unique DISPIDs and names, any-case lookup, and the kinds hosts bind to.
#include "docview/fennick_members.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace docview {
namespace {

TEST(Members, DispidsAndNamesAreUniqueAndTheUnusedOnesAreAbsent) {
    std::set<int32_t> ids;
    std::set<std::string> names;
    size_t methods = 0;
    for (const MemberSpec& m : Members()) {
        EXPECT_TRUE(ids.insert(m.dispid).second) << m.dispid;
        std::string lower(m.name);
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(names.insert(lower).second) << m.name;
        EXPECT_GE(m.dispid, 1);
        EXPECT_LE(m.dispid, 169);
        if (m.access == Access::Method)
            ++methods;
        else
            EXPECT_EQ(m.ParamCount(), 0u) << m.name;
    }
    EXPECT_EQ(ids.size(), 164u);
    EXPECT_EQ(methods, 44u);
    for (int32_t unused : {16, 17, 23, 24, 45})
        EXPECT_EQ(FindMember(unused), nullptr) << unused;
}

TEST(Members, ResolveByAnyCaseNameWithKindAndArguments) {
    using enum Type;
    struct Row {
        std::string_view name;
        int32_t dispid;
        Access access;
        Type type;
        std::vector<Type> params;
    };
    const Row rows[] = {
        {"viewfile",
         1,
         Access::Method,
         I4,
         {Variant, Variant, Variant, Variant, Variant, Variant, Variant, Variant}},
        {"ERRORSHOWMSG", 2, Access::GetPut, I4, {}},
        {"ErrorMsg", 4, Access::Get, Bstr, {}},
        {"bmpRotation", 7, Access::GetPut, I2, {}},
        {"DisplayFont", 32, Access::GetPutRef, Font, {}},
        {"PrintMarginTop", 80, Access::GetPut, R4, {}},
        {"PrinterDC", 89, Access::GetPut, Handle, {}},
        {"SelectionAnchor", 93, Access::GetPut, Position, {}},
        {"IdleBitmap", 95, Access::Method, None, {Handle, I4}},
        {"HiliteStyle", 108, Access::Method, I4, {I2, I4, Color, Color, I2}},
        {"PagePicture", 134, Access::Get, Picture, {}},
        {"DrawPageEx", 100, Access::Method, I4, {I4, I4, I4, I4, I4, I4, I4, I4, I2, Handle, Handle, Handle}},
        {"search", 29, Access::Method, I2, {I4, Bstr, I2, I2, I2}},
        {"PrintJobName", 169, Access::GetPut, Bstr, {}},
    };
    for (const Row& row : rows) {
        const MemberSpec* m = FindMember(row.name);
        ASSERT_NE(m, nullptr) << row.name;
        EXPECT_EQ(m, FindMember(row.dispid));
        EXPECT_EQ(m->access, row.access) << row.name;
        EXPECT_EQ(m->type, row.type) << row.name;
        ASSERT_EQ(m->ParamCount(), row.params.size()) << row.name;
        for (size_t i = 0; i < row.params.size(); ++i)
            EXPECT_EQ(m->params[i], row.params[i]) << row.name << i;
    }
    EXPECT_EQ(FindMember("ViewFil"), nullptr);
    EXPECT_EQ(FindMember(""), nullptr);
}

}  // namespace
}  // namespace docview
