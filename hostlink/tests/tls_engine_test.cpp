// Loading the TLS engine: found by the host link's run path, and a library that is missing or is not the
// engine fails with a reason rather than a crash.
#include "hostlink/tls/tls_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace hostlink::tls {
namespace {

using ::testing::HasSubstr;

// In the build tree as where installed: whatever links the host link finds the engine.
TEST(TlsEngine, IsFoundOnceForTheProcess) {
    std::string why;
    const Engine* engine = LoadEngine(&why);
    ASSERT_NE(engine, nullptr) << why;
    EXPECT_EQ(LoadEngine(), engine);
    EXPECT_EQ(engine->TakeError(), std::nullopt);
}

TEST(TlsEngine, LibrariesThatAreNotTheEngineAreRefusedWithTheReason) {
    struct Case {
        const char* library;
        const char* reason;
    };
    const Case cases[] = {
        {"/nonexistent/libcarrowline_tls.so", "could not be loaded"},
        {"libm.so.6", "has no CarrowlineTlsEngine"},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(OpenEngine(c.library, &why), nullptr) << c.library;
        EXPECT_THAT(why, HasSubstr(c.library));
        EXPECT_THAT(why, HasSubstr(c.reason));
    }
}

}  // namespace
}  // namespace hostlink::tls
