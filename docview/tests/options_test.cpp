// The option store against a recording engine channel: the push order and bytes, every row's check, the
// flag words, fallback conversions, margins and read-back.
#include "docview/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace docview {
namespace {

struct Sent {
    uint32_t id;
    std::string bytes;
    int32_t AsInt() const {
        if (bytes.size() == 2) {
            int16_t v;
            std::memcpy(&v, bytes.data(), 2);
            return v;
        }
        int32_t v = 0;
        std::memcpy(&v, bytes.data(), std::min<size_t>(4, bytes.size()));
        return v;
    }
};

class RecordingChannel : public OptionChannel {
  public:
    int64_t SetOption(uint32_t id, const void* data, size_t size) override {
        sent.push_back({id, std::string(static_cast<const char*>(data), size)});
        return 0;
    }
    int64_t GetOption(uint32_t id, void* data, size_t size) override {
        asked.push_back(id);
        if (auto it = answers.find(id); it != answers.end()) {
            std::memcpy(data, it->second.data(), std::min(size, it->second.size()));
        }
        return 0;
    }
    template <typename T>
    void Answer(uint32_t id, const T& value) {
        answers[id] = std::string(reinterpret_cast<const char*>(&value), sizeof value);
    }
    std::vector<Sent> sent;
    std::vector<uint32_t> asked;
    std::map<uint32_t, std::string> answers;
};

TEST(OptionStore, PushAllSendsEveryOptionInOrderWithItsDefaults) {
    OptionStore store;
    RecordingChannel channel;
    store.PushAll(channel);
    // (id, size, value as integer) of the whole push.
    const std::vector<std::tuple<uint32_t, size_t, int32_t>> golden = {
        {0x52783, 2, 100},  {0x1272E, 12, 12}, {0x52848, 4, 0}, {0x52849, 2, 1},     {0x528A3, 2, 1},
        {0x52846, 2, 1},    {0x528A1, 2, 1},   {0x52847, 4, 1}, {0x528A2, 4, 1},     {0x5283C, 2, 0},
        {0x5296C, 2, 0},    {0x52908, 2, 0},   {0x5296E, 4, 1}, {0x5290B, 4, 1},     {0x5296D, 4, 1},
        {0x5296F, 2, 0},    {0x5290C, 2, 0},   {0x5296A, 4, 1}, {0x52906, 4, 1},     {0x5296B, 4, 1},
        {0x52907, 4, 1},    {0x52969, 4, 1},   {0x52905, 4, 1}, {0x5290D, 4, 100},   {0x5290E, 4, 1},
        {0x5290F, 4, 1},    {0x52910, 4, 0},   {0x527D9, 2, 3}, {0x527DE, 2, 1},     {0x527DF, 4, 1},
        {0x52A96, 4, 1},    {0x528A8, 4, 1},   {0x528A7, 4, 1}, {0x52779, 4, 4002},  {0x52774, 46, 0},
        {0x529CE, 46, 0},   {0x52777, 46, 0},  {0x52A31, 2, 0}, {0x52A33, 732, 732}, {0x52A35, 4, 0},
        {0x529CD, 4, 1027}, {0x52A32, 4, 0},   {0x52A36, 4, 0}, {0x43B60, 2, 42},    {0x52B2B, 2, 0},
        {0x42B66, 4, 0},    {0x527E3, 4, 0},   {0x52B03, 4, 0}, {0x52A34, 4, 0x24},  {0x52776, 16, 1440},
    };
    ASSERT_EQ(channel.sent.size(), golden.size());
    for (size_t i = 0; i < golden.size(); ++i) {
        const auto& [id, size, value] = golden[i];
        EXPECT_EQ(channel.sent[i].id, id) << i;
        EXPECT_EQ(channel.sent[i].bytes.size(), size) << i;
        if (size != 46) {
            EXPECT_EQ(channel.sent[i].AsInt(), value) << i;
        }
    }
    LydvwFontRecord font;
    std::memcpy(&font, channel.sent[34].bytes.data(), sizeof font);
    EXPECT_STREQ(font.face, "Arial");
    EXPECT_EQ(font.half_points, 20);
    LydvwIntlRecord intl;
    std::memcpy(&intl, channel.sent[38].bytes.data(), sizeof intl);
    EXPECT_EQ(intl.intl_flag, 1u);
}

TEST(OptionStore, PutsBeforeTheViewAreStoredAndPushedLater) {
    OptionStore store;
    ASSERT_EQ(store.Put("BMPRotation", 270, nullptr), PutResult::Ok);
    ASSERT_EQ(store.Put("SystemUnicode", 1, nullptr), PutResult::Ok);
    ASSERT_EQ(store.Put("VScrollbar", 0, nullptr), PutResult::Ok);
    ASSERT_EQ(store.PutFallback(4006, nullptr), PutResult::Ok);
    RecordingChannel channel;
    store.PushAll(channel);
    std::map<uint32_t, int32_t> last;
    for (const Sent& s : channel.sent)
        last[s.id] = s.AsInt();
    EXPECT_EQ(last[0x5283C], 270);
    EXPECT_EQ(last[0x52A32], 16);
    EXPECT_EQ(last[0x52A34], 4 | 8);
    EXPECT_EQ(last[0x52779], 4006);
}

TEST(OptionStore, EveryRowAcceptsItsValidValueAndRefusesItsInvalidOne) {
    struct Row {
        std::string_view member;
        int32_t valid;
        std::optional<int32_t> invalid;
    };
    const Row rows[] = {
        {"BMPPrintAspect", 2, 3},
        {"VECPrintAspect", 1, 0},
        {"BMPRotation", 90, 45},
        {"DBClipboard", 2, 3},
        {"SSClipboard", 0, -1},
        {"DBPrintFit", 3, 4},
        {"SSPrintFit", 5, 3},
        {"SSPrintScalePercent", 50, 301},
        {"SSPrintScaleXHigh", 1, 0},
        {"SSPrintScaleXWide", 7, -1},
        {"SSPrintDirection", 1, 2},
        {"WPDisplayMode", 1, 4},
        {"WPFitMode", 4, 3},
        {"ArchiveSortOrder", 4, 5},
        {"IMGXZoomPercent", 1, 0},
        {"IMGYZoomPercent", 250, -5},
        {"TimeZoneOffset", 61440, 100},
        {"TimeZoneOffset", -96, -97},
        {"BMPDither", -7, std::nullopt},
        {"ToClipboard", 0, std::nullopt},
    };
    for (const Row& row : rows) {
        OptionStore store;
        RecordingChannel channel;
        const int32_t before = store.Get(row.member);
        ASSERT_EQ(store.Put(row.member, row.valid, &channel), PutResult::Ok) << row.member;
        EXPECT_EQ(store.Get(row.member), row.valid) << row.member;
        const OptionRow* option = FindOption(row.member);
        ASSERT_NE(option, nullptr);
        if (option->conversion == Conversion::LocalOnly) {
            EXPECT_TRUE(channel.sent.empty()) << row.member;
        } else {
            ASSERT_EQ(channel.sent.size(), 1u) << row.member;
            EXPECT_EQ(channel.sent[0].id, option->id);
        }
        if (!row.invalid)
            continue;
        channel.sent.clear();
        EXPECT_EQ(store.Put(row.member, *row.invalid, &channel), PutResult::Invalid) << row.member;
        EXPECT_EQ(store.Get(row.member), row.valid) << row.member << " (was " << before << ")";
        if (option->conversion == Conversion::TimeZone) {
            // The stored value is sent again.
            ASSERT_EQ(channel.sent.size(), 1u);
            EXPECT_EQ(channel.sent[0].AsInt(), row.valid);
        } else {
            EXPECT_TRUE(channel.sent.empty()) << row.member;
        }
    }
}

TEST(OptionStore, FlagWordsCarryEachMemberInItsBit) {
    struct Row {
        std::string_view member;
        int32_t value;
        uint32_t id;
        uint32_t word;
    };
    const Row rows[] = {
        {"SystemRawText", 1, 0x52A32, 1},
        {"SystemTimer", 0, 0x52A32, 2},
        {"SystemReadAhead", 0, 0x52A32, 8},
        {"SystemUnicode", 1, 0x52A32, 16},
        {"HScrollbar", 0, 0x52A34, 0x21},
        {"VScrollbar", 0, 0x52A34, 0x0C},
        {"ArchiveSortDescending", 1, 0x52A96, 0x80000001u},
        {"ArchiveSortOrder", 3, 0x52A96, 3},
    };
    for (const Row& row : rows) {
        OptionStore store;
        RecordingChannel channel;
        ASSERT_EQ(store.Put(row.member, row.value, &channel), PutResult::Ok);
        ASSERT_EQ(channel.sent.size(), 1u);
        EXPECT_EQ(channel.sent[0].id, row.id) << row.member;
        EXPECT_EQ(static_cast<uint32_t>(channel.sent[0].AsInt()), row.word) << row.member;
        // The engine reports the same word back: the members come out as they went in.
        OptionStore other;
        channel.Answer(row.id, row.word);
        EXPECT_TRUE(other.ReadBack(row.id, channel));
        EXPECT_EQ(other.Get(row.member), row.value) << row.member;
    }
}

TEST(OptionStore, FallbackFormatMapsBothWaysAndAsksTheEngineFor1170) {
    struct Row {
        int32_t put;
        std::optional<int32_t> stored;
        uint32_t sent;
    };
    const Row rows[] = {{0, 0, 4002},         {8, 8, 4006},          {4006, 8, 4006},
                        {4000, 2, 4000},      {1116, 16, 1116},      {1117, 15, 1117},
                        {16, 16, 1116},       {17, std::nullopt, 0}, {4015, std::nullopt, 0},
                        {-1, std::nullopt, 0}};
    for (const Row& row : rows) {
        OptionStore store;
        RecordingChannel channel;
        const PutResult result = store.PutFallback(row.put, &channel);
        if (!row.stored) {
            EXPECT_EQ(result, PutResult::Invalid) << row.put;
            EXPECT_TRUE(channel.sent.empty());
            continue;
        }
        EXPECT_EQ(store.Get("FallbackFormat"), *row.stored) << row.put;
        ASSERT_EQ(channel.sent.size(), 1u);
        EXPECT_EQ(static_cast<uint32_t>(channel.sent[0].AsInt()), row.sent) << row.put;
    }
    const std::pair<uint32_t, int32_t> probes[] = {
        {0x10100, 3}, {0x14E30100, 16}, {0x13A40000, 9}, {0x1234, 0}};
    for (const auto& [answer, value] : probes) {
        OptionStore store;
        RecordingChannel channel;
        channel.Answer(0x53BC4, answer);
        ASSERT_EQ(store.PutFallback(1170, &channel), PutResult::Ok);
        EXPECT_EQ(channel.asked, std::vector<uint32_t>{0x53BC4});
        EXPECT_EQ(store.Get("FallbackFormat"), value) << answer;
    }
}

TEST(OptionStore, MarginsFollowTheUnitOfIntlFlagAndAreClamped) {
    struct Row {
        int32_t intlFlag;
        float put;
        double twips;
        float readBack;
    };
    const Row rows[] = {{1, 1.0f, 1440, 1.0f}, {1, 5.0f, 6090, 4.23f}, {1, -2.0f, 0, 0.0f},
                        {0, 1.0f, 566, 1.0f},  {0, 2.5f, 1415, 2.5f},  {0, 20.0f, 6090, 10.76f}};
    for (const Row& row : rows) {
        OptionStore store;
        RecordingChannel channel;
        store.Put("IntlFlag", row.intlFlag, nullptr);
        store.PutMargin(2, row.put, &channel);
        EXPECT_DOUBLE_EQ(store.MarginTwips(2), row.twips) << row.put;
        EXPECT_FLOAT_EQ(store.GetMargin(2), row.readBack) << row.put;
        ASSERT_EQ(channel.sent.size(), 1u);
        ASSERT_EQ(channel.sent[0].bytes.size(), 16u);
        int32_t sent[4];
        std::memcpy(sent, channel.sent[0].bytes.data(), sizeof sent);
        EXPECT_EQ(sent[0], 1440);
        EXPECT_EQ(sent[2], static_cast<int32_t>(row.twips));
    }
}

TEST(OptionStore, TextOptionsRefuseOverlongTextAndSendEmptyButNotMissing) {
    OptionStore store;
    RecordingChannel channel;
    EXPECT_EQ(store.PutResourceLibraryId(std::string("ABCDEF"), &channel), PutResult::TooLong);
    EXPECT_EQ(store.PutPrintJobName(std::string(41, 'j'), &channel), PutResult::TooLong);
    EXPECT_TRUE(channel.sent.empty());
    EXPECT_EQ(store.PutResourceLibraryId(std::string("ABCDE"), &channel), PutResult::Ok);
    ASSERT_EQ(channel.sent.size(), 1u);
    LydvwResourceId record;
    std::memcpy(&record, channel.sent[0].bytes.data(), sizeof record);
    EXPECT_EQ(record.size, 12u);
    EXPECT_STREQ(record.text, "ABCDE");
    EXPECT_EQ(store.PutPrintJobName(std::string(), &channel), PutResult::Ok);
    ASSERT_EQ(channel.sent.size(), 2u);
    // The job name goes as its whole field: the engine reads all of it, whatever the text's length.
    EXPECT_EQ(channel.sent[1].bytes, std::string(41, '\0'));
    EXPECT_EQ(store.PutPrintJobName(std::nullopt, &channel), PutResult::Ok);
    EXPECT_EQ(channel.sent.size(), 2u);
    EXPECT_EQ(store.PutPrintJobName(std::string("Ledger"), &channel), PutResult::Ok);
    ASSERT_EQ(channel.sent.size(), 3u);
    EXPECT_EQ(channel.sent[2].bytes, "Ledger" + std::string(35, '\0'));
}

TEST(OptionStore, ReadBackStaysWithinFieldsTheEngineFillsWrongly) {
    OptionStore store;
    RecordingChannel channel;
    LydvwFontRecord font;
    std::memset(&font, 'F', sizeof font);  // no terminator anywhere
    channel.Answer(0x52774, font);
    EXPECT_TRUE(store.ReadBack(0x52774, channel));
    EXPECT_EQ(std::string(store.Font(0).face), std::string(39, 'F'));
    char job[64];
    std::memset(job, 'J', sizeof job);
    channel.Answer(0x5277B, job);
    EXPECT_TRUE(store.ReadBack(0x5277B, channel));
    EXPECT_EQ(store.PrintJobName(), std::string(41, 'J'));
    LydvwResourceId resource;
    std::memset(&resource, 'R', sizeof resource);
    channel.Answer(0x1272E, resource);
    EXPECT_TRUE(store.ReadBack(0x1272E, channel));
    EXPECT_EQ(store.ResourceLibraryId(), "RRRRR");
    EXPECT_FALSE(store.ReadBack(0x99999, channel));
    channel.Answer(0x52779, uint32_t{4001});
    EXPECT_TRUE(store.ReadBack(0x52779, channel));
    EXPECT_EQ(store.Get("FallbackFormat"), 7);
}

TEST(CopyBounded, CutsAndTerminates) {
    char field[6];
    std::memset(field, 'x', sizeof field);
    CopyBounded(field, "abcdefghij");
    EXPECT_EQ(std::string(field, sizeof field), std::string("abcde\0", 6));
    CopyBounded(field, "ab");
    EXPECT_EQ(std::string(field, sizeof field), std::string("ab\0\0\0\0", 6));
}

}  // namespace
}  // namespace docview
