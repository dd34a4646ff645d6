// The browser pane's XML: which stylesheet applies, the answers for bad input, and that nothing outside the
// document's folder (or the network) is ever read.
#include "viewer/display/xml_transform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/test_support.h"
#include "viewer/display/document_route.h"

namespace display {
namespace {

namespace fs = std::filesystem;
using testsupport::WriteFile;

constexpr const char* kLetterXslt = R"(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html"/>
  <xsl:template match="/letter"><html><body><h1>Dear <xsl:value-of select="to"/></h1></body></html></xsl:template>
</xsl:stylesheet>
)";
constexpr const char* kOtherXslt = R"(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/letter"><html><body><p>Fallback for <xsl:value-of select="to"/></p></body></html></xsl:template>
</xsl:stylesheet>
)";
constexpr const char* kTextXslt = R"(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text" encoding="ISO-8859-1"/>
  <xsl:template match="/letter">To: <xsl:value-of select="to"/></xsl:template>
</xsl:stylesheet>
)";

std::string Letter(const std::string& instruction, const std::string& to = "Ann") {
    return "<?xml version=\"1.0\"?>\n" + instruction + "\n<letter><to>" + to + "</to></letter>\n";
}

class XmlTransformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_docs = m_temp.Path() / "docs";
        m_outside = m_temp.Path() / "outside";
        WriteFile(m_docs / "letter.xslt", kLetterXslt);
        WriteFile(m_docs / "other.xslt", kOtherXslt);
        WriteFile(m_docs / "text.xslt", kTextXslt);
        WriteFile(m_docs / "broken.xslt",
                  "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">");
        WriteFile(m_docs / "notxslt.xslt", "<?xml version=\"1.0\"?><html><body/></html>");
        WriteFile(m_docs / "secret.txt", "SECRET-BESIDE");
        WriteFile(m_outside / "evil.xslt", kOtherXslt);
        WriteFile(m_outside / "secret.txt", "SECRET-OUTSIDE");
    }
    fs::path Doc(const std::string& name, const std::string& text) {
        WriteFile(m_docs / name, text);
        return m_docs / name;
    }

    testsupport::TempFolder m_temp;
    fs::path m_docs;
    fs::path m_outside;
};

struct StylesheetCase {
    const char* name;
    std::string instruction;
    bool withFallback;
    TransformStatus status;
    const char* contains;  // in the content when shown, else in the message
};

TEST_F(XmlTransformTest, ChoosesTheStylesheetAndAnswersBadInputClearly) {
    const std::vector<StylesheetCase> cases = {
        {"named", R"(<?xml-stylesheet type="text/xsl" href="letter.xslt"?>)", false, TransformStatus::Html,
         "<h1>Dear Ann</h1>"},
        {"named wins over the fallback", R"(<?xml-stylesheet type="text/xsl" href="letter.xslt"?>)", true,
         TransformStatus::Html, "Dear Ann"},
        {"named as a file URL",
         "<?xml-stylesheet type=\"text/xsl\" href=\"file://" + m_docs.string() + "/letter.xslt\"?>", false,
         TransformStatus::Html, "Dear Ann"},
        {"named with single quotes and escapes", R"(<?xml-stylesheet href='lett%65r.xslt' type='text/xsl'?>)",
         false, TransformStatus::Html, "Dear Ann"},
        {"fallback", "", true, TransformStatus::Html, "Fallback for Ann"},
        {"a CSS instruction leaves the fallback", R"(<?xml-stylesheet type="text/css" href="letter.css"?>)",
         true, TransformStatus::Html, "Fallback for Ann"},
        {"plain source", "<!-- no stylesheet -->", false, TransformStatus::Text,
         "<letter><to>Ann</to></letter>"},
        {"text output", R"(<?xml-stylesheet type="text/xsl" href="text.xslt"?>)", false,
         TransformStatus::Text, "To: Ann"},
        {"named but missing", R"(<?xml-stylesheet type="text/xsl" href="missing.xslt"?>)", true,
         TransformStatus::BadStylesheet, "missing.xslt"},
        {"not well-formed XSLT", R"(<?xml-stylesheet type="text/xsl" href="broken.xslt"?>)", false,
         TransformStatus::BadStylesheet, "not well-formed"},
        {"XML that is not XSLT", R"(<?xml-stylesheet type="text/xsl" href="notxslt.xslt"?>)", false,
         TransformStatus::BadStylesheet, "not a usable XSLT stylesheet"},
        {"outside the folder", R"(<?xml-stylesheet type="text/xsl" href="../outside/evil.xslt"?>)", false,
         TransformStatus::BadStylesheet, "outside the document's folder"},
        {"on the network", R"(<?xml-stylesheet type="text/xsl" href="http://127.0.0.1:9/evil.xslt"?>)", false,
         TransformStatus::BadStylesheet, "nothing is fetched"},
        {"a Windows drive path", R"(<?xml-stylesheet type="text/xsl" href="C:\style\letter.xslt"?>)", false,
         TransformStatus::BadStylesheet, "not a file beside the document"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TransformOptions options;
        if (c.withFallback) {
            options.fallbackStylesheet = m_docs / "other.xslt";
        }
        const auto result = TransformXmlDocument(Doc("letter.xml", Letter(c.instruction)), options);
        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_NE((result.Shown() ? result.content : result.message).find(c.contains), std::string::npos)
            << result.content << result.message;
        EXPECT_EQ(result.Shown(), result.message.empty()) << result.message;
    }
}

TEST_F(XmlTransformTest, DocumentsThatCannotBeShown) {
    struct Case {
        const char* name;
        fs::path path;
        TransformStatus status;
    };
    fs::create_directories(m_docs / "folder.xml");
    const std::vector<Case> cases = {
        {"missing", m_docs / "missing.xml", TransformStatus::Unreadable},
        {"a folder", m_docs / "folder.xml", TransformStatus::Unreadable},
        {"not well-formed", Doc("bad.xml", "<letter><to>Ann</letter>"), TransformStatus::BadXml},
        {"empty", Doc("empty.xml", ""), TransformStatus::BadXml},
        {"truncated", Doc("cut.xml", Letter("").substr(0, 30)), TransformStatus::BadXml},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = TransformXmlDocument(c.path, {.fallbackStylesheet = m_docs / "other.xslt"});
        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_FALSE(result.message.empty());
        EXPECT_TRUE(result.content.empty());
    }
    TransformOptions tiny;
    tiny.maxFileBytes = 10;
    EXPECT_EQ(TransformXmlDocument(Doc("big.xml", Letter("")), tiny).status, TransformStatus::Unreadable);
}

TEST_F(XmlTransformTest, AFallbackStylesheetThatCannotBeUsedIsReported) {
    const fs::path doc = Doc("letter.xml", Letter(""));
    EXPECT_EQ(TransformXmlDocument(doc, {.fallbackStylesheet = m_docs / "gone.xslt"}).status,
              TransformStatus::BadStylesheet);
    EXPECT_EQ(TransformXmlDocument(doc, {.fallbackStylesheet = m_docs / "broken.xslt"}).status,
              TransformStatus::BadStylesheet);
    // The host named this one itself, so it may lie in another folder.
    const auto result = TransformXmlDocument(doc, {.fallbackStylesheet = m_outside / "evil.xslt"});
    EXPECT_EQ(result.status, TransformStatus::Html) << result.message;
}

// Every way of reaching a file through the document or its stylesheet: none reads a byte of it.
TEST_F(XmlTransformTest, ExternalEntitiesAndOutsideFilesFetchNothing) {
    const std::string outside = (m_outside / "secret.txt").string();
    const std::string beside = (m_docs / "secret.txt").string();
    WriteFile(m_docs / "secret.dtd", "<!ENTITY dtdent SYSTEM \"secret.txt\">");
    struct Case {
        const char* name;
        std::string document;
    };
    const std::vector<Case> cases = {
        {"external entity beside",
         "<?xml version=\"1.0\"?><!DOCTYPE letter [<!ENTITY e SYSTEM \"secret.txt\">]>"
         "<letter><to>&e;</to></letter>"},
        {"external entity outside", "<?xml version=\"1.0\"?><!DOCTYPE letter [<!ENTITY e SYSTEM \"file://" +
                                        outside + "\">]><letter><to>&e;</to></letter>"},
        {"parameter entity",
         "<?xml version=\"1.0\"?><!DOCTYPE letter [<!ENTITY % p SYSTEM \"secret.dtd\"> %p;]>"
         "<letter><to>&dtdent;</to></letter>"},
        {"external DTD",
         "<?xml version=\"1.0\"?><!DOCTYPE letter SYSTEM \"secret.dtd\"><letter><to>&dtdent;</to></letter>"},
        {"XInclude",
         "<?xml version=\"1.0\"?><letter xmlns:xi=\"http://www.w3.org/2001/XInclude\"><to>"
         "<xi:include href=\"secret.txt\" parse=\"text\"/></to></letter>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool styled : {false, true}) {
            const auto result =
                TransformXmlDocument(Doc("entity.xml", c.document),
                                     {.fallbackStylesheet = styled ? m_docs / "letter.xslt" : fs::path()});
            EXPECT_EQ(result.content.find("SECRET"), std::string::npos) << result.content;
        }
    }

    // A stylesheet's own reads: document(), imports and includes outside the folder, and writing files.
    struct StyleCase {
        const char* name;
        std::string body;
        bool shown;
    };
    const std::string ns = "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"";
    const std::vector<StyleCase> styles = {
        {"document() outside",
         "<xsl:template match=\"/\"><p><xsl:value-of select=\"document('file://" + outside +
             "')\"/></p></xsl:template>",
         false},
        {"document() beside, not XML",
         "<xsl:template match=\"/\"><p><xsl:value-of select=\"document('secret.txt')\"/>"
         "</p></xsl:template>",
         true},
        {"import outside", "<xsl:import href=\"../outside/evil.xslt\"/>", false},
        {"include on the network", "<xsl:include href=\"http://127.0.0.1:9/x.xslt\"/>", false},
        {"writes a file",
         "<xsl:template match=\"/\"><exsl:document xmlns:exsl=\"http://exslt.org/common\" href=\"" +
             (m_docs / "written.txt").string() + "\">x</exsl:document><p/></xsl:template>",
         false},
    };
    const fs::path doc =
        Doc("plain.xml", Letter("<?xml-stylesheet type=\"text/xsl\" href=\"reader.xslt\"?>"));
    for (const auto& s : styles) {
        SCOPED_TRACE(s.name);
        WriteFile(m_docs / "reader.xslt",
                  "<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" " + ns +
                      " extension-element-prefixes=\"exsl\" xmlns:exsl=\"http://exslt.org/common\">" +
                      s.body + "</xsl:stylesheet>");
        const auto result = TransformXmlDocument(doc);
        EXPECT_EQ(result.content.find("SECRET"), std::string::npos) << result.content;
        EXPECT_FALSE(fs::exists(m_docs / "written.txt"));
        if (!s.shown) {
            EXPECT_EQ(result.status, TransformStatus::BadStylesheet) << result.content;
        }
    }
}

TEST_F(XmlTransformTest, ALinkBesideTheDocumentIsFollowedOnlyIntoTheFolder) {
    fs::create_symlink(m_outside / "evil.xslt", m_docs / "link.xslt");
    const auto result = TransformXmlDocument(
        Doc("letter.xml", Letter(R"(<?xml-stylesheet type="text/xsl" href="link.xslt"?>)")));
    EXPECT_EQ(result.status, TransformStatus::BadStylesheet);
    fs::create_symlink(m_docs / "letter.xslt", m_docs / "inside.xslt");
    EXPECT_EQ(TransformXmlDocument(
                  Doc("letter.xml", Letter(R"(<?xml-stylesheet type="text/xsl" href="inside.xslt"?>)")))
                  .status,
              TransformStatus::Html);
}

TEST_F(XmlTransformTest, TextComesOutAsUtf8) {
    const auto source = TransformXmlDocument(
        Doc("latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><letter><to>J\xF6rg</to></letter>"));
    ASSERT_EQ(source.status, TransformStatus::Text) << source.message;
    EXPECT_NE(source.content.find("J\xC3\xB6rg"), std::string::npos);
    const auto styled = TransformXmlDocument(
        Doc("latin.xml",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
            "<?xml-stylesheet type=\"text/xsl\" href=\"text.xslt\"?><letter><to>J\xF6rg</to></letter>"));
    ASSERT_EQ(styled.status, TransformStatus::Text) << styled.message;
    EXPECT_EQ(styled.content, "To: J\xC3\xB6rg");
}

// The loaders are process-wide in libxml2; each thread's transform must keep its own folder.
TEST_F(XmlTransformTest, TransformsOnSeveralThreadsKeepTheirOwnFolders) {
    const fs::path good =
        Doc("letter.xml", Letter(R"(<?xml-stylesheet type="text/xsl" href="letter.xslt"?>)"));
    WriteFile(m_outside / "letter.xml",
              Letter(R"(<?xml-stylesheet type="text/xsl" href="../docs/letter.xslt"?>)"));
    std::vector<std::thread> threads;
    std::vector<TransformStatus> seen(8);
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 20; ++round) {
                seen[i] = TransformXmlDocument(i % 2 ? m_outside / "letter.xml" : good).status;
                if (seen[i] != (i % 2 ? TransformStatus::BadStylesheet : TransformStatus::Html)) {
                    return;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], i % 2 ? TransformStatus::BadStylesheet : TransformStatus::Html) << i;
    }
}

TEST_F(XmlTransformTest, ThePanesOwnLoadsStayBesideTheDocument) {
    fs::create_symlink(m_outside / "secret.txt", m_docs / "link.txt");
    fs::create_directories(m_docs / "sub");
    WriteFile(m_docs / "sub" / "deeper.png", "x");
    struct Case {
        std::string reference;
        bool allowed;
    };
    const std::vector<Case> cases = {
        {"secret.txt", true},
        {"./secret.txt", true},
        {"file://" + (m_docs / "secret.txt").string(), true},
        {(m_docs / "secret.txt").string(), true},
        {"secret.txt#part", true},
        {"../outside/secret.txt", false},
        {(m_outside / "secret.txt").string(), false},
        {"link.txt", false},
        {"sub/deeper.png", false},
        {"sub", false},
        {"missing.png", false},
        {"http://127.0.0.1:9/secret.txt", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reference);
        const auto found = ResourceBeside(m_docs, c.reference);
        EXPECT_EQ(found.has_value(), c.allowed);
        if (found) {
            EXPECT_EQ(*found, fs::canonical(m_docs / "secret.txt"));
        }
    }
}

TEST(DocumentRouteTest, ExtensionComesFromTheLastComponentOnly) {
    struct Case {
        const char* path;
        const char* extension;
        DocumentRoute route;
    };
    const std::vector<Case> cases = {
        {"C:\\data\\letter.xml", ".xml", DocumentRoute::Xml},
        {"/home/u/LETTER.XML", ".xml", DocumentRoute::Xml},
        {"C:\\data.xml\\letter", "", DocumentRoute::Other},
        {"/data.xml/letter", "", DocumentRoute::Other},
        {"C:\\data.xslt\\letter.pdf", ".pdf", DocumentRoute::Other},
        {"style.XSLT", ".xslt", DocumentRoute::Stylesheet},
        {"style.xslt.xml", ".xml", DocumentRoute::Xml},
        {"letter.xml.xslt", ".xslt", DocumentRoute::Stylesheet},
        {"report.xmlx", ".xmlx", DocumentRoute::Xml},
        {"style.xsl", ".xsl", DocumentRoute::Other},
        {"letter.doc", ".doc", DocumentRoute::Other},
        {"", "", DocumentRoute::Other},
        {"trailing.", ".", DocumentRoute::Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtensionOf(c.path), c.extension);
        EXPECT_EQ(RouteFor(c.path), c.route);
    }
}

}  // namespace
}  // namespace display
