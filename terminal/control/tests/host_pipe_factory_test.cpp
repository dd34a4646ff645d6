// The pipe factory over the real pipes: which properties each pipe kind receives, what an adopted session
// gives back, and the further-window record that leaves the pipe as it was.
#include <gtest/gtest.h>

#include "hostlink/local_pipe.h"
#include "hostlink/remote_pipe.h"
#include "platform/shared_mapping.h"
#include "terminal/control/quillet_session.h"

namespace terminal {
namespace {

QuilletProperties Filled() {
    QuilletProperties p;
    p.m_RemoteDataSet = "/r/data";
    p.m_RemoteSorelProgs = "/r/progs";
    p.m_RemoteHost = "host.example";
    p.m_RemoteEnviro = "A=1";
    p.m_RunProgram = "run.sh";
    p.m_RemotePort = static_cast<int16_t>(static_cast<uint16_t>(40000));
    p.m_RemoteTerm = 3;
    p.m_RemotePrinter = 4;
    p.m_BillServID = 9;
    p.m_AuthSorelUser = 12;
    p.m_AuthSorelPassword = "app";
    p.m_AuthOsUser = "os";
    p.m_AuthOsPassword = "ospw";
    p.m_HostIsTrans = false;
    p.m_LocalDataSet = "/l/data";
    p.m_LocalSorelProgs = "/l/progs";
    p.m_LocalPrinter = 6;
    p.m_LocalTerm = 7;
    return p;
}

TEST(HostPipeFactoryTest, RemotePipeGetsTheRemoteSettingsAndCredentials) {
    auto factory = MakeHostPipeFactory();
    auto pipe = factory->MakeConfigured(true, Filled());
    auto* remote = dynamic_cast<hostlink::CRemotePipe*>(pipe.get());
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(remote->m_dataSet.Str(), "/r/data");
    EXPECT_EQ(remote->m_programDir.Str(), "/r/progs");
    EXPECT_EQ(remote->m_host.Str(), "host.example");
    EXPECT_EQ(remote->m_environment.Str(), "A=1");
    EXPECT_EQ(remote->m_runCommand.Str(), "run.sh");
    EXPECT_EQ(remote->m_port, 40000) << "a port above 32767 survives the 16-bit property";
    EXPECT_EQ(remote->m_terminal, 3);
    EXPECT_EQ(remote->m_printer, 4);
    EXPECT_EQ(remote->m_BillServID, 9);
    EXPECT_EQ(remote->m_flags, hostlink::flags::kRunCommand);
    EXPECT_EQ(remote->m_appUser, 12);
    EXPECT_EQ(remote->m_appPassword.Str(), "app");
    EXPECT_EQ(remote->m_osUser.Str(), "os");
    EXPECT_EQ(remote->m_osPassword.Str(), "ospw");
    EXPECT_EQ(remote->m_HostIsTrans, 0);
}

TEST(HostPipeFactoryTest, LocalPipeGetsTheLocalSettingsButNoTerminal) {
    auto factory = MakeHostPipeFactory();
    QuilletProperties props = Filled();
    props.m_RunProgram.clear();
    props.m_AuthSorelUser = 0;
    auto pipe = factory->MakeConfigured(false, props);
    auto* local = dynamic_cast<hostlink::CLocalPipe*>(pipe.get());
    ASSERT_NE(local, nullptr);
    const hostlink::CLocalPipe fresh;
    EXPECT_EQ(local->m_dataSet.Str(), "/l/data");
    EXPECT_EQ(local->m_programDir.Str(), "/l/progs");
    EXPECT_EQ(local->m_printerNumber, 6);
    EXPECT_EQ(local->m_terminalNumber, fresh.m_terminalNumber);
    EXPECT_EQ(local->m_flags, 0);
    EXPECT_EQ(local->m_appUser, fresh.m_appUser);
    EXPECT_EQ(local->m_appPassword.Str(), "app");
    EXPECT_EQ(local->m_BillServID, 9);
}

TEST(HostPipeFactoryTest, CopyBackTakesTheAdoptedSessionsSettings) {
    auto factory = MakeHostPipeFactory();
    hostlink::CRemotePipe remote;
    remote.m_dataSet.Assign("/x/data");
    remote.m_host.Assign("other.example");
    remote.m_port = 8100;
    remote.m_terminal = 5;
    remote.m_wanMode = 1;
    remote.m_BillServID = 3;
    QuilletProperties props;
    factory->CopyBack(remote, props);
    EXPECT_EQ(props.m_RemoteDataSet, "/x/data");
    EXPECT_EQ(props.m_RemoteHost, "other.example");
    EXPECT_EQ(props.m_RemotePort, 8100);
    EXPECT_EQ(props.m_RemoteTerm, 5);
    EXPECT_EQ(props.m_WanMode, 1);
    EXPECT_EQ(props.m_BillServID, 3);
    EXPECT_EQ(props.m_LocalDataSet, kDefaultDataSet);
}

TEST(HostPipeFactoryTest, FurtherWindowRecordCarriesModeAndChainCommandAndLeavesThePipeAlone) {
    auto factory = MakeHostPipeFactory();
    hostlink::CLocalPipe local;
    local.m_runText.Assign("own");
    local.m_mode = hostlink::session_mode::kNew;
    platform::UniqueFd fd = factory->SaveNewWindowState(local, "/pat");
    ASSERT_TRUE(fd.Valid());
    auto mapping = platform::SharedMapping::OpenFd(
        fd.Get(), hostlink::kStateHeaderSize + hostlink::LocalSessionState::kSize, false);
    ASSERT_TRUE(mapping.has_value());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapping->Data())), "local");
    const auto state =
        hostlink::LocalSessionState::FromRecord(mapping->Bytes().subspan(hostlink::kStateHeaderSize));
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->m_mode, hostlink::session_mode::kFurtherWindow);
    EXPECT_EQ(state->m_runText.Str(), "/pat");
    EXPECT_EQ(local.m_mode, hostlink::session_mode::kNew);
    EXPECT_EQ(local.m_runText.Str(), "own");

    // No chain command: the pipe's own text goes.
    platform::UniqueFd second = factory->SaveNewWindowState(local, "");
    auto again = platform::SharedMapping::OpenFd(
        second.Get(), hostlink::kStateHeaderSize + hostlink::LocalSessionState::kSize, false);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(hostlink::LocalSessionState::FromRecord(again->Bytes().subspan(hostlink::kStateHeaderSize))
                  ->m_runText.Str(),
              "own");
}

}  // namespace
}  // namespace terminal
