// The real engine's copies of a range, raw text and clipboard formats, on the two-page PDF and text files:
// the words come out in each format, blocks are terminated and sized as stated, raw text comes in pieces
// that say where they start, and the clipboard carries the formats ToClipboard asks for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColor>
#include <QDialog>
#include <QMimeData>
#include <QTimer>
#include <QWidget>
#include <cstring>
#include <string>
#include <tuple>

#include "docview/engine_binding.h"
#include "docview/tests/doc_fixtures.h"
#include "docview/tests/engine_view.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

constexpr uint32_t kToClipboard = 0x529CD;
constexpr uint32_t kClipFont = 0x529CE;
constexpr uint32_t kUnmappable = 0x43B60;
constexpr uint32_t kSystemFlags = 0x52A32;
constexpr uint32_t kRawTextOn = 1;
constexpr uint32_t kUnicodeOn = 16;

// The option changes the engine reports.
int64_t Record(void* context, uint32_t id, uint64_t, uint64_t lparam) {
    if (id == LYDVW_N_OPTION_CHANGE)
        static_cast<std::vector<uint64_t>*>(context)->push_back(lparam);
    return 0;
}

// A block's bytes, the terminator checked and the block freed.
struct Taken {
    std::string bytes;
    bool terminated = false;
};

class EngineCopyTest : public testing::EngineViewTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenView(Record, &m_changed)); }

    int64_t Request(uint32_t request, const void* record = nullptr) {
        return m_api.request(m_view, request, 0, reinterpret_cast<uint64_t>(record));
    }
    int64_t View(const std::string& name) { return ViewPath(Path(name)); }
    template <typename Value>
    void Set(uint32_t option, const Value& value) {
        LydvwOptionBlock block{sizeof block, option, LYDVW_OPT_CURRENT, 0,
                               reinterpret_cast<uint64_t>(&value)};
        ASSERT_EQ(Request(LYDVW_R_SET_OPTION, &block), 0) << option;
    }
    // The whole document's first and last places.
    std::pair<LydvwPosition, LydvwPosition> Whole() {
        EXPECT_EQ(Request(LYDVW_R_SELECT_ALL), 0);
        LydvwGetPosition first{};
        first.size = sizeof first;
        first.method = LYDVW_POS_SELECTION_FIRST;
        LydvwGetPosition last = first;
        last.method = LYDVW_POS_SELECTION_LAST;
        EXPECT_EQ(Request(LYDVW_R_GET_POSITION, &first), 0);
        EXPECT_EQ(Request(LYDVW_R_GET_POSITION, &last), 0);
        return {first.result, last.result};
    }
    Taken Take(uint64_t address, uint32_t bytes, uint32_t width) {
        Taken taken;
        const auto* block = reinterpret_cast<const char*>(address);
        if (!block)
            return taken;
        taken.bytes.assign(block, bytes);
        taken.terminated = std::all_of(block + bytes, block + bytes + width, [](char c) { return c == 0; });
        m_api.freeBlock(const_cast<char*>(block));
        return taken;
    }
    int64_t CopyRange(uint32_t format, const LydvwPosition& start, const LydvwPosition& end, Taken& taken) {
        LydvwCopyRange record{};
        record.size = sizeof record;
        record.format = format;
        record.start = start;
        record.end = end;
        const int64_t answer = Request(LYDVW_R_COPY_RANGE, &record);
        taken = Take(record.block, record.block_size, 1);
        return answer;
    }
    int64_t RawText(uint32_t offset, LydvwRawText& record, Taken& taken) {
        record = LydvwRawText{};
        record.size = sizeof record;
        record.offset = offset;
        const int64_t answer = Request(LYDVW_R_RAW_TEXT, &record);
        taken = Take(record.block, record.byte_length, record.unit_width);
        return answer;
    }

    std::vector<uint64_t> m_changed;
};

TEST_F(EngineCopyTest, ARangeComesAsTerminatedTextOrRichTextInTheClipFont) {
    LydvwFontRecord font{};
    std::strcpy(font.face, "Courier New");
    font.half_points = 24;
    font.attributes = LYDVW_FONT_BOLD;
    Set(kClipFont, font);
    struct Row {
        const char* file;
        std::vector<std::string> words;
    };
    const Row rows[] = {{"two.pdf", {"alpha", "beta"}}, {"notes.txt", {"first line", "second line"}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        ASSERT_EQ(View(row.file), 0);
        const auto [first, last] = Whole();
        Taken text;
        // Either end may come first.
        ASSERT_EQ(CopyRange(LYDVW_COPY_TEXT, last, first, text), 0);
        EXPECT_TRUE(text.terminated);
        EXPECT_EQ(text.bytes.find('\0'), std::string::npos);
        Taken rich;
        ASSERT_EQ(CopyRange(LYDVW_COPY_RICH_TEXT, first, last, rich), 0);
        EXPECT_TRUE(rich.terminated);
        EXPECT_EQ(rich.bytes.rfind("{\\rtf1", 0), 0u) << rich.bytes;
        EXPECT_NE(rich.bytes.find("Courier New"), std::string::npos) << rich.bytes;
        EXPECT_NE(rich.bytes.find("\\fs24\\b"), std::string::npos) << rich.bytes;
        for (const std::string& word : row.words) {
            EXPECT_NE(text.bytes.find(word), std::string::npos) << text.bytes;
            EXPECT_NE(rich.bytes.find(word), std::string::npos) << rich.bytes;
        }
        // An empty range is an empty text, not an error.
        ASSERT_EQ(CopyRange(LYDVW_COPY_TEXT, first, first, text), 0);
        EXPECT_EQ(text.bytes, "");
        EXPECT_TRUE(text.terminated);
    }
}

TEST_F(EngineCopyTest, CharactersBeyond1252BecomeTheUnmappableCharacterAndBadRequestsAre15) {
    Taken taken;
    EXPECT_EQ(CopyRange(LYDVW_COPY_TEXT, {}, {}, taken), LYDVW_E_NO_FILE);
    testsupport::WriteFile(m_temp.Path() / "wide.txt", "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80 {x}\n");
    ASSERT_EQ(View("wide.txt"), 0);
    auto [first, last] = Whole();
    ASSERT_EQ(CopyRange(LYDVW_COPY_TEXT, first, last, taken), 0);
    // One unmappable character for each character, the one outside 16 bits too.
    EXPECT_EQ(taken.bytes, "caf\xE9 * * {x}\n");
    Set(kUnmappable, int16_t{'#'});
    ASSERT_EQ(CopyRange(LYDVW_COPY_TEXT, first, last, taken), 0);
    EXPECT_EQ(taken.bytes, "caf\xE9 # # {x}\n");
    ASSERT_EQ(CopyRange(LYDVW_COPY_RICH_TEXT, first, last, taken), 0);
    EXPECT_NE(taken.bytes.find("caf\\u233?"), std::string::npos) << taken.bytes;
    EXPECT_NE(taken.bytes.find("\\u20013?"), std::string::npos) << taken.bytes;
    EXPECT_NE(taken.bytes.find("\\{x\\}\\par"), std::string::npos) << taken.bytes;

    // A zero in the text does not end the copy.
    testsupport::WriteFile(m_temp.Path() / "zero.txt", std::string("before\0after\n", 13));
    ASSERT_EQ(View("zero.txt"), 0);
    std::tie(first, last) = Whole();
    ASSERT_EQ(CopyRange(LYDVW_COPY_TEXT, first, last, taken), 0);
    EXPECT_EQ(taken.bytes, "before after\n");

    LydvwPosition beyond = last;
    ++beyond.offset;
    LydvwPosition stale = first;
    ++stale.change_id;
    EXPECT_EQ(CopyRange(3, first, last, taken), LYDVW_E_ARGUMENT);
    EXPECT_EQ(CopyRange(LYDVW_COPY_TEXT, first, beyond, taken), LYDVW_E_ARGUMENT);
    EXPECT_EQ(CopyRange(LYDVW_COPY_TEXT, stale, last, taken), LYDVW_E_ARGUMENT);
    LydvwCopyRange small{};
    small.size = sizeof small - 1;
    EXPECT_EQ(Request(LYDVW_R_COPY_RANGE, &small), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Request(LYDVW_R_COPY_RANGE), LYDVW_E_ARGUMENT);
}

TEST_F(EngineCopyTest, RawTextComesInPiecesWithTheirOffsetsOnlyWhenSwitchedOn) {
    ASSERT_EQ(View("two.pdf"), 0);
    LydvwRawText record{};
    Taken taken;
    EXPECT_EQ(RawText(0, record, taken), LYDVW_E_RAW_TEXT_OFF);
    EXPECT_EQ(record.block, 0u);
    Set(kSystemFlags, kRawTextOn);
    // Each page is a piece: asked anywhere in it, it comes whole with where it starts.
    ASSERT_EQ(RawText(0, record, taken), 0);
    EXPECT_EQ(record.piece_offset, 0u);
    EXPECT_EQ(record.unit_width, 1u);
    EXPECT_EQ(record.char_set, static_cast<uint32_t>(LYDVW_CHARSET_1252));
    EXPECT_EQ(record.length, record.byte_length);
    EXPECT_TRUE(taken.terminated);
    EXPECT_NE(taken.bytes.find("alpha"), std::string::npos) << taken.bytes;
    const uint32_t firstPage = record.length;
    const std::string firstText = taken.bytes;
    ASSERT_EQ(RawText(2, record, taken), 0);
    EXPECT_EQ(record.piece_offset, 0u);
    EXPECT_EQ(taken.bytes, firstText);
    ASSERT_EQ(RawText(firstPage, record, taken), 0);
    EXPECT_EQ(record.piece_offset, firstPage);
    EXPECT_NE(taken.bytes.find("beta"), std::string::npos) << taken.bytes;
    EXPECT_EQ(RawText(firstPage + record.length, record, taken), LYDVW_E_NOT_FOUND);

    // In Unicode: UTF-16LE, two bytes a character.
    Set(kSystemFlags, kRawTextOn | kUnicodeOn);
    ASSERT_EQ(RawText(firstPage, record, taken), 0);
    EXPECT_EQ(record.unit_width, 2u);
    EXPECT_EQ(record.char_set, static_cast<uint32_t>(LYDVW_CHARSET_UTF16LE));
    EXPECT_EQ(record.byte_length, 2 * record.length);
    EXPECT_TRUE(taken.terminated);
    EXPECT_NE(taken.bytes.find(std::string("b\0e\0t\0a\0", 8)), std::string::npos);

    ASSERT_EQ(Request(LYDVW_R_CLOSE), 0);
    EXPECT_EQ(RawText(0, record, taken), LYDVW_E_NO_FILE);
}

TEST_F(EngineCopyTest, ALongTextIsServedInPiecesThatNeverCutACharacter) {
    // 4095 letters, then a character of two UTF-16 units across the 4096th, then more.
    std::string text(4095, 'a');
    text += "\xF0\x9F\x98\x80";
    text += std::string(5000, 'b');
    testsupport::WriteFile(m_temp.Path() / "long.txt", text);
    ASSERT_EQ(View("long.txt"), 0);
    Set(kSystemFlags, kRawTextOn | kUnicodeOn);
    struct Row {
        uint32_t offset;
        uint32_t pieceOffset;
        uint32_t length;
    };
    const Row rows[] = {
        {0, 0, 4095}, {4095, 4095, 4096}, {4096, 4095, 4096}, {8191, 8191, 4097 + 5000 - 8191}};
    for (const Row& row : rows) {
        LydvwRawText record{};
        Taken taken;
        ASSERT_EQ(RawText(row.offset, record, taken), 0) << row.offset;
        EXPECT_EQ(record.piece_offset, row.pieceOffset) << row.offset;
        EXPECT_EQ(record.length, row.length) << row.offset;
    }
}

TEST_F(EngineCopyTest, TheClipboardCarriesTheFormatsToClipboardAsks) {
    LydvwFontRecord font{};
    std::strcpy(font.face, "Courier New");
    font.half_points = 24;
    Set(kClipFont, font);
    struct Row {
        const char* file;
        int32_t toClipboard;
        bool text;
        bool rich;  // RTF and HTML
        bool image;
    };
    const Row rows[] = {
        {"notes.txt", 1, true, false, false},      {"notes.txt", 2, false, true, false},
        {"notes.txt", 1027, true, true, false},    {"notes.txt", 0x7FFFFFFF, true, true, false},
        {"notes.txt", 0x400, false, false, false}, {"notes.txt", 0x80 | 0x200, false, false, false},
        {"notes.txt", 0, false, false, false},     {"red.png", 0x80, false, false, true},
        {"red.png", 0x100, false, false, true},    {"red.png", 1027, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.file) + " " + std::to_string(row.toClipboard));
        ASSERT_EQ(View(row.file), 0);
        Request(LYDVW_R_SELECT_ALL);
        QApplication::clipboard()->setText("before");
        Set(kToClipboard, row.toClipboard);
        ASSERT_EQ(Request(LYDVW_R_COPY), 0);
        const QMimeData* data = QApplication::clipboard()->mimeData();
        ASSERT_NE(data, nullptr);
        if (!row.text && !row.rich && !row.image) {
            // Nothing asked that there is to offer: the clipboard is left alone.
            EXPECT_EQ(QApplication::clipboard()->text(), "before");
            continue;
        }
        EXPECT_EQ(data->hasText(), row.text);
        EXPECT_EQ(data->hasFormat("text/rtf"), row.rich);
        EXPECT_EQ(data->hasHtml(), row.rich);
        EXPECT_EQ(data->hasImage(), row.image);
        if (row.text) {
            EXPECT_TRUE(data->text().contains("second line")) << data->text().toStdString();
        }
        if (row.rich) {
            const QByteArray rtf = data->data("text/rtf");
            EXPECT_TRUE(rtf.startsWith("{\\rtf1")) << rtf.toStdString();
            EXPECT_TRUE(rtf.contains("Courier New;")) << rtf.toStdString();
            EXPECT_TRUE(rtf.contains("first line\\par")) << rtf.toStdString();
            EXPECT_TRUE(data->html().contains("font-family:'Courier New'")) << data->html().toStdString();
            EXPECT_TRUE(data->html().contains("font-size:12pt")) << data->html().toStdString();
            EXPECT_TRUE(data->html().contains("second line")) << data->html().toStdString();
        }
        if (row.image) {
            const QImage image = qvariant_cast<QImage>(data->imageData());
            EXPECT_EQ(image.size(), QSize(40, 30));
            EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::red));
        }
    }
}

TEST_F(EngineCopyTest, TheClipboardOptionsDialogChangesOnlyTheFormatsItShows) {
    Set(kToClipboard, int32_t{1027 | 0x100});
    // The user drops DIB and confirms; then opens it again, ticks it and cancels. The metafile bit, which
    // the dialog does not show, stays.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->findChild<QCheckBox*>("text")->isChecked());
        EXPECT_TRUE(dialog->findChild<QCheckBox*>("rtf")->isChecked());
        EXPECT_FALSE(dialog->findChild<QCheckBox*>("bmp")->isChecked());
        dialog->findChild<QCheckBox*>("dib")->setChecked(false);
        dialog->accept();
    });
    EXPECT_EQ(Request(LYDVW_R_OPTIONS_DIALOG, reinterpret_cast<const void*>(LYDVW_DLG_CLIPBOARD)), 0);
    EXPECT_EQ(m_changed, std::vector<uint64_t>{kToClipboard});
    int32_t formats = 0;
    LydvwOptionBlock block{sizeof block, kToClipboard, LYDVW_OPT_CURRENT, 0,
                           reinterpret_cast<uint64_t>(&formats)};
    ASSERT_EQ(Request(LYDVW_R_GET_OPTION, &block), 0);
    EXPECT_EQ(formats, 1027);

    m_changed.clear();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(dialog->findChild<QCheckBox*>("dib")->isChecked());
        dialog->findChild<QCheckBox*>("dib")->setChecked(true);
        dialog->reject();
    });
    EXPECT_EQ(Request(LYDVW_R_OPTIONS_DIALOG, reinterpret_cast<const void*>(LYDVW_DLG_CLIPBOARD)),
              LYDVW_E_CANCELLED);
    EXPECT_TRUE(m_changed.empty());
    ASSERT_EQ(Request(LYDVW_R_GET_OPTION, &block), 0);
    EXPECT_EQ(formats, 1027);
}

}  // namespace
}  // namespace docview
