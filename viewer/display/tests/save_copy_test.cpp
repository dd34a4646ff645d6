// Save As of the browser pane's document: the document and its stylesheet arrive whole beside each other,
// or, when a write fails, the old targets stay byte for byte as they were.
#include "viewer/display/save_copy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "testsupport/file_size_limit.h"
#include "testsupport/test_support.h"

namespace display {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

class SaveCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(Source());
        fs::create_directories(Chosen());
        WriteFile(Source() / "letter.xml", m_document);
        WriteFile(Source() / "letter.xsl", m_stylesheet);
    }
    fs::path Source() const { return m_temp.Path() / "shown"; }
    fs::path Chosen() const { return m_temp.Path() / "chosen"; }
    std::vector<fs::path> Entries(const fs::path& folder) const {
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::TempFolder m_temp;
    std::string m_document = "<?xml version=\"1.0\"?>\n<?xml-stylesheet href=\"letter.xsl\"?>\n<letter/>\n" +
                             std::string(64 * 1024, 'x');
    std::string m_stylesheet = "<xsl:stylesheet/>\n";
};

TEST_F(SaveCopyTest, CopiesTheDocumentAndItsStylesheetBesideIt) {
    WriteFile(Chosen() / "copy.xml", "old copy");
    WriteFile(Chosen() / "letter.xsl", "old sheet");
    fs::path failed;
    ASSERT_FALSE(
        SaveDocumentCopy(Source() / "letter.xml", Source() / "letter.xsl", Chosen() / "copy.xml", &failed));
    EXPECT_EQ(ReadFile(Chosen() / "copy.xml"), m_document);
    EXPECT_EQ(ReadFile(Chosen() / "letter.xsl"), m_stylesheet);
    EXPECT_EQ(Entries(Chosen()), (std::vector<fs::path>{"copy.xml", "letter.xsl"}));
    EXPECT_TRUE(failed.empty());
}

TEST_F(SaveCopyTest, WithoutAStylesheetOnlyTheDocument) {
    ASSERT_FALSE(SaveDocumentCopy(Source() / "letter.xml", {}, Chosen() / "copy.xml"));
    EXPECT_EQ(Entries(Chosen()), (std::vector<fs::path>{"copy.xml"}));
    EXPECT_EQ(ReadFile(Chosen() / "copy.xml"), m_document);
}

TEST_F(SaveCopyTest, SavingIntoTheShownFolderKeepsTheStylesheet) {
    ASSERT_FALSE(SaveDocumentCopy(Source() / "letter.xml", Source() / "letter.xsl", Source() / "second.xml"));
    EXPECT_EQ(ReadFile(Source() / "second.xml"), m_document);
    EXPECT_EQ(ReadFile(Source() / "letter.xsl"), m_stylesheet);
    // Onto itself: nothing changes and nothing is lost.
    ASSERT_FALSE(SaveDocumentCopy(Source() / "letter.xml", Source() / "letter.xsl", Source() / "letter.xml"));
    EXPECT_EQ(ReadFile(Source() / "letter.xml"), m_document);
}

TEST_F(SaveCopyTest, AFailingWriteKeepsTheOldTargetsByteIdentical) {
    const std::string oldCopy = "old copy that must survive";
    const std::string oldSheet = "old sheet that must survive";
    WriteFile(Chosen() / "copy.xml", oldCopy);
    WriteFile(Chosen() / "letter.xsl", oldSheet);
    fs::path failed;
    std::error_code error;
    {
        // The stylesheet fits, the document does not.
        testsupport::ScopedFileSizeLimit limit(4096);
        error = SaveDocumentCopy(Source() / "letter.xml", Source() / "letter.xsl", Chosen() / "copy.xml",
                                 &failed);
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(failed, Chosen() / "copy.xml");
    EXPECT_EQ(ReadFile(Chosen() / "copy.xml"), oldCopy);
    EXPECT_EQ(ReadFile(Chosen() / "letter.xsl"), oldSheet);
    EXPECT_EQ(Entries(Chosen()), (std::vector<fs::path>{"copy.xml", "letter.xsl"}));
}

TEST_F(SaveCopyTest, AFailingWriteOfANewCopyLeavesNothingBehind) {
    std::error_code error;
    {
        testsupport::ScopedFileSizeLimit limit(4096);
        error = SaveDocumentCopy(Source() / "letter.xml", Source() / "letter.xsl", Chosen() / "copy.xml");
    }
    ASSERT_TRUE(error);
    EXPECT_TRUE(Entries(Chosen()).empty());
}

TEST_F(SaveCopyTest, RefusesWhatWouldLoseOrMixFiles) {
    WriteFile(Chosen() / "letter.xsl", "old sheet");
    const struct {
        const char* name;
        fs::path document;
        fs::path stylesheet;
        fs::path target;
        fs::path failed;
    } cases[] = {
        {"missing document", Source() / "gone.xml", {}, Chosen() / "copy.xml", Source() / "gone.xml"},
        {"document is a folder", Source(), {}, Chosen() / "copy.xml", Source()},
        {"missing stylesheet", Source() / "letter.xml", Source() / "gone.xsl", Chosen() / "copy.xml",
         Source() / "gone.xsl"},
        {"target names the stylesheet", Source() / "letter.xml", Source() / "letter.xsl",
         Chosen() / "letter.xsl", Chosen() / "letter.xsl"},
        {"target is a folder", Source() / "letter.xml", {}, Chosen() / "sub", Chosen() / "sub"},
    };
    fs::create_directories(Chosen() / "sub");
    for (const auto& c : cases) {
        fs::path failed;
        EXPECT_TRUE(SaveDocumentCopy(c.document, c.stylesheet, c.target, &failed)) << c.name;
        EXPECT_EQ(failed, c.failed) << c.name;
        EXPECT_EQ(ReadFile(Chosen() / "letter.xsl"), "old sheet") << c.name;
        EXPECT_EQ(Entries(Chosen()), (std::vector<fs::path>{"letter.xsl", "sub"})) << c.name;
    }
}

}  // namespace
}  // namespace display
