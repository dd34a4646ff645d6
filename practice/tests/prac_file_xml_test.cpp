// practice.xml: the exact document, escaping, round trips with hostile values, and damaged or truncated
// documents that must never read as complete.
#include <gtest/gtest.h>

#include "practice/prac_file.h"
#include "test_support.h"

namespace practice {
namespace {

using testing::ReadFile;
using testing::WriteFile;

std::string ColumnBlocks(std::string_view valueName, bool positions) {
    std::string text;
    for (int i = 0; i < 11; ++i) {
        const std::string n = std::to_string(i);
        text += "<Column>\n<ColumnNum>\"" + n + "\"</ColumnNum>\n<" + std::string(valueName) + ">\"" +
                (positions ? n : std::string("0")) + "\"</" + std::string(valueName) + ">\n</Column>\n";
    }
    return text;
}

TEST(PracticeXml, GoldenDocument) {
    CPracFile file;
    CPractice practice;
    practice.m_Name = "A&B";
    practice.m_Host = "h";
    practice.m_Environment.Add({"TERM", "vt\"100"});
    file.GetPractices().push_back(practice);
    file.GetSelInfo().SetStyle(3);
    file.GetSelInfo().GetCustomMenu().AddItem("Go", "/go", 1);
    std::string text;
    ASSERT_TRUE(file.WriteXml(text));
    const std::string golden =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<PracticeFile>\n"
        "<SchemaVersion>\"6\"</SchemaVersion>\n"
        "<PracticeCount>\"1\"</PracticeCount>\n"
        "<Practice>\n"
        "<Name>\"A&amp;B\"</Name>\n"
        "<Host>\"h\"</Host>\n"
        "<SorelData>\"\"</SorelData>\n"
        "<SorelProgs>\"\"</SorelProgs>\n"
        "<PortNumber>\"8002\"</PortNumber>\n"
        "<PrinterNumber>\"1\"</PrinterNumber>\n"
        "<TerminalNumber>\"1\"</TerminalNumber>\n"
        "<ConnType>\"0\"</ConnType>\n"
        "<PracticeType>\"0\"</PracticeType>\n"
        "<WanMode>\"0\"</WanMode>\n"
        "<BillServID>\"0\"</BillServID>\n"
        "<Enviroment>\n"
        "<EnviromentVariable>\"TERM\"</EnviromentVariable>\n"
        "<EnviromentValue>\"vt&quot;100\"</EnviromentValue>\n"
        "</Enviroment>\n"
        "</Practice>\n"
        "<PracSelStyle>\"3\"</PracSelStyle>\n"
        "<HeaderOrder>\n" +
        ColumnBlocks("Position", true) +
        "</HeaderOrder>\n"
        "<HeaderWidth>\n" +
        ColumnBlocks("Width", false) +
        "</HeaderWidth>\n"
        "<CustomMenu>\n"
        "<CustomMenuItem>\n"
        "<Title>\"Go\"</Title>\n"
        "<Action>\"/go\"</Action>\n"
        "<RunCommand>\"1\"</RunCommand>\n"
        "</CustomMenuItem>\n"
        "</CustomMenu>\n"
        "</PracticeFile>";
    EXPECT_EQ(text, golden);
}

TEST(PracticeXml, EscapeAndSinglePassUnescape) {
    EXPECT_EQ(XmlEscape("& <>\"'"), "&amp; &lt;&gt;&quot;&#39;");
    const std::vector<std::string> values = {"&lt;", "&amp;lt;", "&&;", "a&b", "&#39", "<&quot;>", ""};
    for (const auto& value : values) {
        EXPECT_EQ(XmlUnescape(XmlEscape(value)), value) << value;
    }
    EXPECT_EQ(XmlUnescape("&amp;lt;"), "&lt;");
    EXPECT_EQ(XmlUnescape("&lt;&gt;&quot;&#39;&amp;"), "<>\"'&");
    EXPECT_EQ(XmlUnescape("&unknown; &"), "&unknown; &");
}

TEST(PracticeXml, ParseXmlLineCases) {
    struct Case {
        std::string line, name, value;
    };
    const std::vector<Case> cases = {
        {"<Name>\"abc\"</Name>", "Name", "abc"},
        {"  <Port>\"1\"</Port>", "Port", "1"},
        {"</Practice>", "/Practice", ""},
        {"<Enviroment>", "Enviroment", ""},
        {"no tag \"v\"", "", "v"},
        {"<Half>\"open", "Half", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const XmlLine parsed = ParseXmlLine(c.line);
        EXPECT_EQ(parsed.name, c.name) << c.line;
        EXPECT_EQ(parsed.value, c.value) << c.line;
    }
}

std::vector<CPractice> HostilePractices() {
    std::vector<CPractice> list;
    CPractice amp;
    amp.m_Name = "& <";
    amp.m_Host = "\"quoted\" 'single' >";
    amp.m_SorelData = "&lt; literal";
    amp.m_SorelProgs = "&amp;&#39;";
    amp.m_Environment.Add({"A&B", "x=\"1\"<2>"});
    amp.m_Environment.Add({"", "value only"});
    amp.m_Environment.Add({"name only", ""});
    list.push_back(amp);
    CPractice empty;
    empty.m_PortNumber = -5;
    empty.m_BillServID = 2147483647;
    list.push_back(empty);
    CPractice big;
    big.m_Name = std::string(300, 'n');
    big.m_SorelData = std::string(70000, 'd');
    big.m_Environment.Add({"LONG", std::string(70000, 'v')});
    list.push_back(big);
    return list;
}

TEST(PracticeXml, HostileValuesRoundTrip) {
    CPracFile writerFile;
    writerFile.GetPractices() = HostilePractices();
    writerFile.GetSelInfo().GetColumnWidths()[10] = 77;
    writerFile.GetSelInfo().GetCustomMenu().AddItem("&lt;Menu&>", "/x \"y\"", 1);
    std::string text;
    ASSERT_TRUE(writerFile.WriteXml(text));
    EXPECT_NE(text.find("<Name>\"&amp; &lt;\"</Name>"), std::string::npos);
    EXPECT_NE(text.find("<SorelData>\"&amp;lt; literal\"</SorelData>"), std::string::npos);

    CPracFile reader;
    ASSERT_TRUE(reader.ReadXml(text));
    const auto& loaded = reader.GetPractices();
    ASSERT_EQ(loaded.size(), 3u);
    for (size_t i = 0; i < loaded.size(); ++i) {
        EXPECT_TRUE(loaded[i].SameFields(writerFile.GetPractices()[i])) << i;
    }
    EXPECT_EQ(loaded[0].m_SorelData, "&lt; literal");
    EXPECT_EQ(reader.GetSelInfo().GetColumnWidths()[10], 77);
    EXPECT_EQ(reader.GetSelInfo().GetCustomMenu().GetItem(50000).m_Title, "&lt;Menu&>");
}

TEST(PracticeXml, EmptyEnvironmentEntryIsNotReadBack) {
    CPracFile writerFile;
    CPractice practice;
    practice.m_Environment.Add({"", ""});
    writerFile.GetPractices().push_back(practice);
    std::string text;
    ASSERT_TRUE(writerFile.WriteXml(text));
    EXPECT_NE(text.find("<Enviroment>"), std::string::npos);
    CPracFile reader;
    ASSERT_TRUE(reader.ReadXml(text));
    EXPECT_EQ(reader.GetPractices().at(0).m_Environment.GetSize(), 0u);

    CPracFile plain;
    plain.GetPractices().push_back(CPractice());
    ASSERT_TRUE(plain.WriteXml(text));
    EXPECT_EQ(text.find("<Enviroment>"), std::string::npos);
}

TEST(PracticeXml, EveryTruncationIsIncomplete) {
    CPracFile writerFile;
    writerFile.GetPractices() = {HostilePractices()[0], HostilePractices()[1]};
    writerFile.GetSelInfo().GetCustomMenu().AddItem("A", "/a", 0);
    std::string text;
    ASSERT_TRUE(writerFile.WriteXml(text));
    for (size_t cut = 0; cut < text.size(); ++cut) {
        CPracFile reader;
        EXPECT_FALSE(reader.ReadXml(std::string_view(text).substr(0, cut))) << "cut at " << cut;
        EXPECT_FALSE(reader.HasList());
    }
    CPracFile whole;
    EXPECT_TRUE(whole.ReadXml(text));
}

TEST(PracticeXml, CrLfLinesReadLikeLfLines) {
    CPracFile writerFile;
    writerFile.GetPractices() = {HostilePractices()[0]};
    std::string text;
    ASSERT_TRUE(writerFile.WriteXml(text));
    std::string crlf;
    for (char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    CPracFile reader;
    ASSERT_TRUE(reader.ReadXml(crlf));
    ASSERT_EQ(reader.GetPractices().size(), 1u);
    EXPECT_TRUE(reader.GetPractices()[0].SameFields(writerFile.GetPractices()[0]));
}

TEST(PracticeXml, DamagedStructureIsRejected) {
    CPracFile writerFile;
    writerFile.GetPractices() = {CPractice(), CPractice()};
    std::string text;
    ASSERT_TRUE(writerFile.WriteXml(text));
    auto replaced = [&](std::string_view from, std::string_view to) {
        std::string copy = text;
        copy.replace(copy.find(from), from.size(), to);
        return copy;
    };
    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"count too small", replaced("<PracticeCount>\"2\"", "<PracticeCount>\"1\"")},
        {"count too large", replaced("<PracticeCount>\"2\"", "<PracticeCount>\"3\"")},
        {"negative count", replaced("<PracticeCount>\"2\"", "<PracticeCount>\"-1\"")},
        {"huge count", replaced("<PracticeCount>\"2\"", "<PracticeCount>\"2147483647\"")},
        {"no count", replaced("<PracticeCount>", "<PracticeKount>")},
        {"no style", replaced("<PracSelStyle>", "<PracSelStile>")},
        {"ten columns",
         replaced("<Column>\n<ColumnNum>\"10\"</ColumnNum>\n<Position>\"10\"</Position>\n</Column>\n", "")},
        {"no menu end", replaced("</CustomMenu>", "")},
    };
    for (const auto& [what, bad] : damaged) {
        CPracFile reader;
        EXPECT_FALSE(reader.ReadXml(bad)) << what;
    }
}

TEST(PracticeXml, ColumnBlocksFillEntriesInBlockOrder) {
    CPracFile writerFile;
    writerFile.GetSelInfo().GetColumnWidths() = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    writerFile.GetSelInfo().GetColumnOrder() = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    std::string text;
    ASSERT_TRUE(writerFile.WriteXml(text));
    // Out-of-order ColumnNum values do not matter; a block without its value leaves the default.
    text.replace(text.find("<ColumnNum>\"0\"</ColumnNum>\n<Width>"), 26, "<ColumnNum>\"9\"</ColumnNum>");
    const std::string position3 = "<Position>\"7\"</Position>\n";
    text.erase(text.find(position3), position3.size());
    CPracFile reader;
    ASSERT_TRUE(reader.ReadXml(text));
    EXPECT_EQ(reader.GetSelInfo().GetColumnWidths()[0], 10);
    EXPECT_EQ(reader.GetSelInfo().GetColumnWidths()[10], 20);
    EXPECT_EQ(reader.GetSelInfo().GetColumnOrder()[3], 3);
    EXPECT_EQ(reader.GetSelInfo().GetColumnOrder()[4], 6);
}

}  // namespace
}  // namespace practice
