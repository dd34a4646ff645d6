// The pipe factory over the host link's real pipes: the properties copied into a new CRemotePipe or
// CLocalPipe, and the few pipe-specific steps the life cycle needs.
#include <cstdint>
#include <string_view>

#include "hostlink/local_pipe.h"
#include "hostlink/remote_pipe.h"
#include "terminal/control/quillet_session.h"

namespace terminal {
namespace {

using hostlink::CCommPipe;
using hostlink::CLocalPipe;
using hostlink::CRemotePipe;

template <std::size_t N>
void Copy(hostlink::FixedText<N>& field, std::string_view text) {
    // Over-long settings are cut to the field; the pipe's own checks report what it cannot use.
    (void)field.Assign(text.substr(0, N - 1));
}

// The mode a further window's record carries, as the pipes' own StartNewSession sets it.
template <typename Pipe>
int32_t FurtherWindowMode(const Pipe& pipe) {
    if ((pipe.m_flags & (hostlink::flags::kBillingServer | hostlink::flags::kMso)) == 0 &&
        pipe.m_mode != hostlink::session_mode::kAfterHostChange) {
        return hostlink::session_mode::kFurtherWindow;
    }
    return pipe.m_mode;
}

template <typename Pipe>
platform::UniqueFd SaveFurther(Pipe& pipe, std::string_view chainCommand) {
    const int32_t mode = pipe.m_mode;
    const std::string runText = pipe.m_runText.Str();
    pipe.m_mode = FurtherWindowMode(pipe);
    if (!chainCommand.empty()) {
        Copy(pipe.m_runText, chainCommand);
    }
    platform::UniqueFd state = pipe.SaveState(true);
    pipe.m_mode = mode;
    Copy(pipe.m_runText, runText);
    return state;
}

// The settings both kinds of pipe take from the properties; only the data set and program folder differ.
template <typename Pipe>
void CopyShared(Pipe& pipe, const QuilletProperties& p, std::string_view dataSet,
                std::string_view programDir) {
    Copy(pipe.m_dataSet, dataSet);
    Copy(pipe.m_programDir, programDir);
    Copy(pipe.m_runCommand, p.m_RunProgram);
    pipe.m_BillServID = p.m_BillServID;
    if (!p.m_RunProgram.empty()) {
        pipe.m_flags = hostlink::flags::kRunCommand;
    }
    if (p.m_AuthSorelUser > 0) {
        pipe.m_appUser = p.m_AuthSorelUser;
    }
    if (!p.m_AuthSorelPassword.empty()) {
        Copy(pipe.m_appPassword, p.m_AuthSorelPassword);
    }
}

class HostPipeFactory final : public PipeFactory {
  public:
    std::unique_ptr<CCommPipe> MakeEmpty(bool remote) override {
        if (remote) {
            return std::make_unique<CRemotePipe>();
        }
        return std::make_unique<CLocalPipe>();
    }

    std::size_t StateRecordSize(bool remote) const override {
        return remote ? hostlink::remote_state::kSize : hostlink::LocalSessionState::kSize;
    }

    std::unique_ptr<CCommPipe> MakeConfigured(bool remote, const QuilletProperties& p) override {
        if (remote) {
            auto pipe = std::make_unique<CRemotePipe>();
            CopyShared(*pipe, p, p.m_RemoteDataSet, p.m_RemoteSorelProgs);
            Copy(pipe->m_host, p.m_RemoteHost);
            Copy(pipe->m_environment, p.m_RemoteEnviro);
            pipe->m_settingsGiven = 1;
            pipe->m_port = static_cast<uint16_t>(p.m_RemotePort);
            pipe->m_terminal = p.m_RemoteTerm;
            pipe->m_printer = p.m_RemotePrinter;
            pipe->m_wanMode = p.m_WanMode;
            if (!p.m_AuthOsUser.empty()) {
                Copy(pipe->m_osUser, p.m_AuthOsUser);
            }
            if (!p.m_AuthOsPassword.empty()) {
                Copy(pipe->m_osPassword, p.m_AuthOsPassword);
            }
            pipe->SetHostIsTrans(p.m_HostIsTrans ? 1 : 0);
            return pipe;
        }
        auto pipe = std::make_unique<CLocalPipe>();
        CopyShared(*pipe, p, p.m_LocalDataSet, p.m_LocalSorelProgs);
        pipe->m_printerNumber = p.m_LocalPrinter;
        return pipe;
    }

    bool LoadRemoteSettings(CCommPipe& pipe) override {
        auto* remote = dynamic_cast<CRemotePipe*>(&pipe);
        return remote != nullptr && remote->LoadSettings();
    }

    void ConfigureLocal(CCommPipe& pipe, std::string_view dataSet, std::string_view programDir) override {
        if (auto* local = dynamic_cast<CLocalPipe*>(&pipe)) {
            local->m_terminalNumber = 1;
            local->m_printerNumber = 1;
            Copy(local->m_dataSet, dataSet);
            Copy(local->m_programDir, programDir);
            local->m_flags = 0;
        }
    }

    void CopyBack(const CCommPipe& pipe, QuilletProperties& p) override {
        if (const auto* remote = dynamic_cast<const CRemotePipe*>(&pipe)) {
            p.m_RemoteDataSet = remote->m_dataSet.Str();
            p.m_RemoteSorelProgs = remote->m_programDir.Str();
            p.m_RemoteHost = remote->m_host.Str();
            p.m_RemotePort = static_cast<int16_t>(remote->m_port);
            p.m_RemotePrinter = ClampToInt16(remote->m_printer);
            p.m_RemoteTerm = ClampToInt16(remote->m_terminal);
            p.m_RemoteEnviro = remote->m_environment.Str();
            p.m_WanMode = ClampToInt16(remote->m_wanMode);
            p.m_BillServID = remote->m_BillServID;
        } else if (const auto* local = dynamic_cast<const CLocalPipe*>(&pipe)) {
            p.m_LocalDataSet = local->m_dataSet.Str();
            p.m_LocalSorelProgs = local->m_programDir.Str();
            p.m_LocalPrinter = ClampToInt16(local->m_printerNumber);
            p.m_LocalTerm = ClampToInt16(local->m_terminalNumber);
            p.m_BillServID = local->m_BillServID;
        }
    }

    void SetHostIsTrans(CCommPipe& pipe, bool value) override {
        if (auto* remote = dynamic_cast<CRemotePipe*>(&pipe)) {
            remote->SetHostIsTrans(value ? 1 : 0);
        }
    }

    bool StartNewSession(CCommPipe& pipe, std::string_view chainCommand) override {
        std::string text(chainCommand);
        if (text.empty()) {
            if (auto* remote = dynamic_cast<CRemotePipe*>(&pipe)) {
                text = remote->m_runText.Str();
            } else if (auto* local = dynamic_cast<CLocalPipe*>(&pipe)) {
                text = local->m_runText.Str();
            }
        }
        return pipe.StartNewSession(text);
    }

    platform::UniqueFd SaveNewWindowState(CCommPipe& pipe, std::string_view chainCommand) override {
        if (auto* remote = dynamic_cast<CRemotePipe*>(&pipe)) {
            return SaveFurther(*remote, chainCommand);
        }
        if (auto* local = dynamic_cast<CLocalPipe*>(&pipe)) {
            return SaveFurther(*local, chainCommand);
        }
        return pipe.SaveState(true);
    }

    void WakeIo(CCommPipe& pipe) override {
        // A session that a later control of this process takes over keeps its connection: only the reader
        // is brought out. A write the host does not take cannot be finished for the successor, so that
        // session ends like any other.
        if (HandedOver(pipe) && !pipe.WriteInProgress()) {
            pipe.WakeReader();
            return;
        }
        // The remote pipe's Close would pull the connection from under the blocked call; its abort is the
        // one wake-up that ends the session and is safe from another thread.
        if (auto* remote = dynamic_cast<CRemotePipe*>(&pipe)) {
            remote->AbortConnect();
            return;
        }
        pipe.Close();
    }

  private:
    // The detach record offered the session to a later control of this process, and the pipe will leave
    // its connection open for it.
    static bool HandedOver(const CCommPipe& pipe) {
        if (const auto* remote = dynamic_cast<const CRemotePipe*>(&pipe)) {
            return remote->Offered();
        }
        if (const auto* local = dynamic_cast<const CLocalPipe*>(&pipe)) {
            return local->Offered();
        }
        return false;
    }
};

}  // namespace

std::unique_ptr<PipeFactory> MakeHostPipeFactory() {
    return std::make_unique<HostPipeFactory>();
}

}  // namespace terminal
