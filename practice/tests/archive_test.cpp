// Archive byte forms: prefixes and counts at their boundaries, the 16-bit string form, class records, and
// a reader that refuses every length the data cannot hold.
#include <gtest/gtest.h>

#include "practice/archive.h"

namespace practice {
namespace {

struct PrefixCase {
    size_t length;
    std::vector<uint8_t> prefix;
};

TEST(ArchiveString, PrefixFormsAtTheirBoundaries) {
    const std::vector<PrefixCase> cases = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {300, {0xFF, 0x2C, 0x01}},
        {0xFFFD, {0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'x');
        ArchiveWriter writer;
        writer.WriteString(text);
        ASSERT_EQ(writer.Size(), c.prefix.size() + c.length);
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), writer.Bytes().begin()));
        ArchiveReader reader(writer.Bytes());
        EXPECT_EQ(reader.ReadString(), text);
        EXPECT_TRUE(reader.AtEnd());
    }
}

TEST(ArchiveString, SixteenBitFormIsConvertedToWindows1252) {
    // 0xFF 0xFFFE marks 16-bit characters; "é€A" (U+00E9, U+20AC, 'A').
    const std::vector<uint8_t> bytes = {0xFF, 0xFE, 0xFF, 0x03, 0xE9, 0x00, 0xAC, 0x20, 0x41, 0x00};
    ArchiveReader reader(bytes);
    EXPECT_EQ(reader.ReadString(),
              "\xE9\x80"
              "A");
    EXPECT_TRUE(reader.AtEnd());
}

TEST(ArchiveString, SixteenBitFormWithLongPrefix) {
    std::vector<uint8_t> bytes = {0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01};
    for (int i = 0; i < 300; ++i) {
        bytes.push_back('z');
        bytes.push_back(0);
    }
    ArchiveReader reader(bytes);
    EXPECT_EQ(reader.ReadString(), std::string(300, 'z'));
}

TEST(ArchiveCount, SixteenAndThirtyTwoBitForms) {
    ArchiveWriter writer;
    writer.WriteCount(2);
    writer.WriteCount(0xFFFE);
    writer.WriteCount(0xFFFF);
    const std::vector<uint8_t> expected = {0x02, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
    EXPECT_EQ(writer.Bytes(), expected);
    ArchiveReader reader(writer.Bytes());
    EXPECT_EQ(reader.ReadCount(0), 2u);
    EXPECT_EQ(reader.ReadCount(0), 0xFFFEu);
    EXPECT_EQ(reader.ReadCount(0), 0xFFFFu);
}

TEST(ArchiveClassRecord, NewClassForm) {
    ArchiveWriter writer;
    writer.WriteNewClass("CKorrinDlg", 1);
    const std::vector<uint8_t> head = {0xFF, 0xFF, 0x01, 0x00, 0x0A, 0x00};
    ASSERT_EQ(writer.Size(), 16u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), writer.Bytes().begin()));
    ArchiveReader reader(writer.Bytes());
    const ClassRecord record = reader.ReadNewClass();
    EXPECT_EQ(record.schema, 1);
    EXPECT_EQ(record.name, "CKorrinDlg");
}

TEST(ArchiveReaderBounds, HostileLengthsAreErrorsNotAllocations) {
    const std::vector<std::vector<uint8_t>> hostile = {
        {},                                                            // nothing at all
        {0x05, 'a', 'b'},                                              // 5 characters, 2 present
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},                    // 2 GiB string
        {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 4 Gi 16-bit characters
        {0xFF, 0x10},                                                  // prefix cut in the middle
    };
    for (const auto& bytes : hostile) {
        ArchiveReader reader(bytes);
        EXPECT_THROW(reader.ReadString(), ArchiveError);
    }
    const std::vector<uint8_t> bigCount = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00};
    ArchiveReader counts(bigCount);
    EXPECT_THROW(counts.ReadCount(2), ArchiveError);
    const std::vector<uint8_t> negative = {0xFF, 0xFF, 0xFF, 0xFF};
    ArchiveReader negatives(negative);
    EXPECT_THROW(negatives.ReadI32Count(1), ArchiveError);
    const std::vector<uint8_t> longName = {0xFF, 0xFF, 0x01, 0x00, 0x00, 0x10};
    ArchiveReader names(longName);
    EXPECT_THROW(names.ReadNewClass(), ArchiveError);
}

TEST(ArchiveReaderBounds, ErrorsSayWhereTheDataEnded) {
    const std::vector<uint8_t> bytes = {0x01, 0x02};
    ArchiveReader reader(bytes);
    try {
        reader.ReadU32();
        FAIL() << "no error";
    } catch (const ArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("ends early"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace practice
