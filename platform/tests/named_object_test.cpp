// Named objects: they exist while anybody holds them, a dead holder holds nothing, and no name reaches
// outside the private folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/named_object.h"
#include "testsupport/test_support.h"

namespace platform {
namespace {

class NamedObjectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::chmod(m_dir.c_str(), 0700);
        m_env.Set("XDG_RUNTIME_DIR", m_dir.string());
    }
    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const std::filesystem::path m_dir = m_temp.Path();
};

TEST_F(NamedObjectTest, ExistsWhileAnyHolderHoldsIt) {
    EXPECT_FALSE(NamedObject::Exists("Link"));
    std::optional<NamedObject> first = NamedObject::OpenOrCreate("Link");
    ASSERT_TRUE(first);
    std::optional<NamedObject> second = NamedObject::OpenOrCreate("Link");
    ASSERT_TRUE(second);
    EXPECT_TRUE(NamedObject::Exists("Link"));
    EXPECT_FALSE(NamedObject::Exists("link")) << "names are case-sensitive";
    first.reset();
    EXPECT_TRUE(NamedObject::Exists("Link")) << "the second holder still holds it";
    second.reset();
    EXPECT_FALSE(NamedObject::Exists("Link"));
}

TEST_F(NamedObjectTest, AHolderInAnotherProcessCountsUntilItEnds) {
    int ready[2];
    int done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::optional<NamedObject> held = NamedObject::OpenOrCreate("Persist");
        char byte = held ? 'y' : 'n';
        (void)!::write(ready[1], &byte, 1);
        (void)!::read(done[0], &byte, 1);
        ::_exit(0);  // dies holding it
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    EXPECT_TRUE(NamedObject::Exists("Persist"));
    (void)!::write(done[1], "x", 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(NamedObject::Exists("Persist"));
    for (int fd : {ready[0], ready[1], done[0], done[1]}) {
        ::close(fd);
    }
}

TEST_F(NamedObjectTest, NamesStayInTheFolderAndBadNamesAreRefused) {
    std::optional<NamedObject> held = NamedObject::OpenOrCreate("../../etc/x y");
    ASSERT_TRUE(held);
    EXPECT_TRUE(NamedObject::Exists("../../etc/x y"));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
        EXPECT_EQ(entry.path().filename().string().find('/'), std::string::npos);
        ++files;
    }
    EXPECT_EQ(files, 1);

    std::string why;
    EXPECT_FALSE(NamedObject::OpenOrCreate("", &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(NamedObject::OpenOrCreate(std::string(261, 'n'), &why));
    std::optional<NamedObject> longName = NamedObject::OpenOrCreate(std::string(260, 'n'));
    ASSERT_TRUE(longName);
    EXPECT_TRUE(NamedObject::Exists(std::string(260, 'n')));
    EXPECT_FALSE(NamedObject::Exists(std::string(259, 'n'))) << "long names that share a start stay apart";
}

TEST_F(NamedObjectTest, AFolderOthersCanWriteIsRefused) {
    ::chmod(m_dir.c_str(), 0777);
    std::string why;
    EXPECT_FALSE(NamedObject::OpenOrCreate("Link", &why));
    EXPECT_NE(why.find("not a private folder"), std::string::npos) << why;
}

}  // namespace
}  // namespace platform
