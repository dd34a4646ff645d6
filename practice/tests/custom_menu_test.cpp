// Custom menu model: contiguous ids with separators, range errors, archive form and the XML block.
#include <gtest/gtest.h>

#include <stdexcept>

#include "practice/custom_menu.h"

namespace practice {
namespace {

CCustomMenu ThreeItemMenu() {
    CCustomMenu menu;
    menu.AddItem("A", "/a", 0);
    menu.AddItem(kSeparatorTitle, "", 0);
    menu.AddItem("&Run", "/run", 1);
    return menu;
}

TEST(CustomMenu, SeparatorsConsumeAnId) {
    const CCustomMenu menu = ThreeItemMenu();
    const std::vector<CustomMenuEntry> expected = {
        {false, 50000, "A"}, {true, 0, ""}, {false, 50002, "&Run"}};
    EXPECT_EQ(menu.GetEntries(), expected);
    EXPECT_EQ(menu.GetFirstId(), 50000);
    EXPECT_EQ(menu.GetEndId(), 50003);
    EXPECT_EQ(menu.GetItem(50001).m_Title, kSeparatorTitle);
    EXPECT_EQ(menu.GetItem(50002).m_Action, "/run");
}

TEST(CustomMenu, IdsOutsideTheRangeAreInvalidArguments) {
    const CCustomMenu menu = ThreeItemMenu();
    for (int32_t id : {49999, 50003, 0, -1, 2147483647}) {
        EXPECT_THROW(menu.GetItem(id), std::invalid_argument) << id;
    }
    CCustomMenu empty;
    EXPECT_THROW(empty.GetItem(50000), std::invalid_argument);
}

TEST(CustomMenu, SetItemsAndAssignmentRebuildFromTheFirstId) {
    CCustomMenu menu;
    menu.SetItems(ThreeItemMenu().GetItems(), 10000);
    EXPECT_EQ(menu.GetEntries().front().id, 10000);
    EXPECT_EQ(menu.GetEndId(), 10003);
    CCustomMenu copy;
    copy.AddItem("old", "/old", 0);
    copy = menu;
    EXPECT_EQ(copy.GetEntries(), menu.GetEntries());
    EXPECT_EQ(copy.GetEndId(), 10003);
}

TEST(CustomMenu, ArchiveOfTwoItems) {
    CCustomMenu menu;
    menu.AddItem("T", "/x", 1);
    menu.AddItem("U", "", 0);
    ArchiveWriter writer;
    menu.Serialize(writer);
    const std::vector<uint8_t> expected = {0x02, 0x00, 0x01, 'T', 0x02, '/',  'x',  0x01, 0x00,
                                           0x00, 0x00, 0x01, 'U', 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(writer.Bytes(), expected);
    CCustomMenu loaded;
    ArchiveReader reader(writer.Bytes());
    loaded.Serialize(reader);
    EXPECT_EQ(loaded.GetItems(), menu.GetItems());
    EXPECT_EQ(loaded.GetEndId(), 50002);
}

TEST(CustomMenu, XmlBlockKeepsSeparatorsAndDropsEmptyActions) {
    CCustomMenu menu = ThreeItemMenu();
    menu.AddItem("No action", "", 0);
    menu.AddItem("B \"&<'>", "/b &amp;", 2);
    std::string text;
    menu.WriteXml(text);
    EXPECT_EQ(text.rfind("<CustomMenu>\n<CustomMenuItem>\n<Title>\"A\"</Title>\n<Action>\"/a\"</Action>\n"
                         "<RunCommand>\"0\"</RunCommand>\n</CustomMenuItem>\n",
                         0),
              0u);
    LineReader reader(text);
    std::string first;
    ASSERT_TRUE(reader.ReadLine(first));
    CCustomMenu loaded;
    ASSERT_TRUE(loaded.ReadXml(reader));
    ASSERT_EQ(loaded.GetItemCount(), 4u);
    EXPECT_TRUE(loaded.GetItem(50001).IsSeparator());
    EXPECT_EQ(loaded.GetItem(50002).m_Title, "&Run");
    EXPECT_EQ(loaded.GetItem(50003).m_Title, "B \"&<'>");
    EXPECT_EQ(loaded.GetItem(50003).m_Action, "/b &amp;");
    EXPECT_EQ(loaded.GetItem(50003).m_RunCommand, 2);
}

TEST(CustomMenu, XmlBlockCutShortIsAnError) {
    std::string text;
    ThreeItemMenu().WriteXml(text);
    for (size_t cut = 0; cut + 1 < text.size(); ++cut) {
        const std::string prefix = text.substr(0, cut);
        LineReader reader(prefix);
        CCustomMenu loaded;
        EXPECT_FALSE(loaded.ReadXml(reader)) << cut;
    }
}

}  // namespace
}  // namespace practice
