// Loading and saving the selector's list: named files, conversion, and the saves that must not happen
// (over a damaged list, over another writer's change, over a practice.xml that holds practices).

#include "selector/practice_store.h"

#include <gtest/gtest.h>

#include "testsupport/test_support.h"

namespace selector {
namespace {

namespace fs = std::filesystem;
using practice::CPracFile;

constexpr const char* kLegacyText =
    "First\n/data/1\n1\nhost1\n/progs1\n4\nSecond\n/data/2\n0\n\n/progs2\n2\n";

class PracticeStoreTest : public testsupport::RegistryTest {
  protected:
    fs::path MachineXml() { return practice::MachinePracticeFolder() / "practice.xml"; }
    fs::path Named(const std::string& name, const std::string& bytes) {
        fs::path path = m_temp.Path() / name;
        testsupport::WriteFile(path, bytes);
        return path;
    }
    std::string XmlWith(std::vector<std::string> names) {
        CPracFile file;
        for (auto& n : names) {
            practice::CPractice p;
            p.m_Name = n;
            file.GetPractices().push_back(p);
        }
        std::string text;
        EXPECT_TRUE(file.WriteXml(text));
        return text;
    }
    void WriteMachineXml(const std::string& bytes) {
        fs::create_directories(MachineXml().parent_path());
        testsupport::WriteFile(MachineXml(), bytes);
    }
};

TEST_F(PracticeStoreTest, ConvertsANamedLegacyListWithNoConsentNeeded) {
    const fs::path lst = Named("old.lst", kLegacyText);
    std::string message;
    EXPECT_EQ(ConvertPracticeList(lst, message), 0) << message;
    PracticeStore store;
    ASSERT_TRUE(store.Load(MachineXml(), message));
    ASSERT_EQ(store.Practices().size(), 2u);
    EXPECT_EQ(store.Practices()[0].m_Name, "First");
    EXPECT_EQ(testsupport::ReadFile(lst), kLegacyText);
}

TEST_F(PracticeStoreTest, ConversionRefusesDamagedAndOccupiedTargets) {
    std::string message;
    const std::string damaged =
        "<?xml version=\"1.0\"?>\n<PracticeFile>\n<SchemaVersion>6</SchemaVersion>\n<Prac";
    const fs::path bad = Named("bad.xml", damaged);
    EXPECT_NE(ConvertPracticeList(bad, message), 0);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(testsupport::ReadFile(bad), damaged);
    EXPECT_FALSE(fs::exists(MachineXml()));
    EXPECT_NE(ConvertPracticeList(m_temp.Path() / "missing.lst", message), 0);

    const std::string held = XmlWith({"Kept"});
    WriteMachineXml(held);
    EXPECT_NE(ConvertPracticeList(Named("old.lst", kLegacyText), message), 0);
    EXPECT_EQ(testsupport::ReadFile(MachineXml()), held);
    // No one can answer a question here: the message says what happened.
    EXPECT_EQ(message, MachineXml().string() + " already holds practices; nothing was converted.");
}

TEST_F(PracticeStoreTest, NamedFileRecordedOnlyOnceItLoaded) {
    std::string message, path;
    PracticeStore store;
    EXPECT_TRUE(store.Load(Named("bad.lst", std::string("\x01\x02\x03", 3)), message));
    EXPECT_FALSE(message.empty());
    EXPECT_FALSE(CPracFile::ReadRegistryPath(path, platform::HKey::LocalMachine, ".lst"));

    const fs::path good = Named("good.lst", kLegacyText);
    ASSERT_TRUE(store.Load(good, message));
    EXPECT_EQ(store.Source(), good);
    ASSERT_TRUE(CPracFile::ReadRegistryPath(path, platform::HKey::LocalMachine, ".lst"));
    EXPECT_EQ(path, good.string());
}

TEST_F(PracticeStoreTest, DamagedListStaysByteIdenticalAfterAdd) {
    const std::string damaged =
        "<?xml version=\"1.0\"?>\n<PracticeFile>\n<SchemaVersion>6</SchemaVersion>\n<Pr";
    WriteMachineXml(damaged);
    PracticeStore store;
    std::string message;
    EXPECT_FALSE(store.Load(std::nullopt, message));
    EXPECT_NE(message.find(MachineXml().string()), std::string::npos);
    std::vector<practice::CPractice> list(1);
    EXPECT_EQ(store.Save(list, {}, true, message), SaveOutcome::Refused);
    EXPECT_NE(message.find(MachineXml().string()), std::string::npos);
    EXPECT_EQ(testsupport::ReadFile(MachineXml()), damaged);
}

TEST_F(PracticeStoreTest, AnotherWritersChangeIsNeverReplaced) {
    WriteMachineXml(XmlWith({"Mine"}));
    PracticeStore store;
    std::string message;
    ASSERT_TRUE(store.Load(std::nullopt, message));
    const std::string theirs = XmlWith({"Theirs", "Other"});
    testsupport::WriteFile(MachineXml(), theirs);
    EXPECT_EQ(store.Save(store.Practices(), store.SelInfo(), true, message), SaveOutcome::ChangedOnDisk);
    EXPECT_EQ(testsupport::ReadFile(MachineXml()), theirs);
    ASSERT_TRUE(store.Load(std::nullopt, message));
    EXPECT_EQ(store.Practices().size(), 2u);
    EXPECT_EQ(store.Save(store.Practices(), store.SelInfo(), false, message), SaveOutcome::Saved);
    // Its own save is no foreign change.
    EXPECT_EQ(store.Save(store.Practices(), store.SelInfo(), false, message), SaveOutcome::Saved);
}

TEST_F(PracticeStoreTest, LegacyListOverAnOccupiedPracticeXmlNeedsConsent) {
    const std::string held = XmlWith({"Kept"});
    WriteMachineXml(held);
    PracticeStore store;
    std::string message;
    ASSERT_TRUE(store.Load(Named("old.lst", kLegacyText), message));
    EXPECT_EQ(store.Save(store.Practices(), store.SelInfo(), false, message), SaveOutcome::NeedsConsent);
    EXPECT_EQ(testsupport::ReadFile(MachineXml()), held);
    EXPECT_EQ(store.Save(store.Practices(), store.SelInfo(), true, message), SaveOutcome::Saved);
    PracticeStore again;
    ASSERT_TRUE(again.Load(std::nullopt, message));
    EXPECT_EQ(again.Practices().size(), 2u);
}

}  // namespace
}  // namespace selector
