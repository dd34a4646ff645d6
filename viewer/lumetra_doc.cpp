// The document object's members, its verdict commands and the rule for deleting files.
#include "viewer/lumetra_doc.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/expand_environment.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "viewer/display/document_route.h"

namespace viewer {

namespace automation = platform::automation;
using automation::Variant;
using automation::VarType;

namespace {

constexpr const char* kOk = "0";
constexpr const char* kFailed = "1";
// ERROR_INSUFFICIENT_BUFFER: what the expansion reports for a path longer than its buffer.
constexpr int32_t kInsufficientBuffer = 122;

Variant Text(const char* text) {
    return Variant::Bstr(text);
}

// The client window's PostMessage member, called by name.
ClientPoster PosterFor(const std::shared_ptr<automation::IDispatch>& window) {
    if (!window) {
        return nullptr;
    }
    return [window](uint32_t message, int32_t wParam, int32_t lParam) {
        automation::DISPID id = automation::DISPID_UNKNOWN;
        if (automation::Failed(window->GetIDOfName("PostMessage", id))) {
            return false;
        }
        const Variant args[] = {Variant::I4(static_cast<int32_t>(message)), Variant::I4(wParam),
                                Variant::I4(lParam)};
        Variant result;
        return automation::Succeeded(
                   window->Invoke(id, automation::InvokeKind::Method, args, &result, nullptr)) &&
               result.AsBool();
    };
}

}  // namespace

bool MayDelete(const std::filesystem::path& path, std::string* why) {
    auto refuse = [why](std::string text) {
        if (why) {
            *why = std::move(text);
        }
        return false;
    };
    for (const auto& part : path) {
        const std::string name = part.string();
        if (name.size() > 1 && name.front() == '.' && name != "..") {
            return refuse(path.string() + " is hidden");
        }
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return refuse(path.string() + " does not exist");
    }
    if (S_ISLNK(info.st_mode)) {
        return refuse(path.string() + " is a link");
    }
    if (!S_ISREG(info.st_mode)) {
        return refuse(path.string() + " is not a plain file");
    }
    return true;
}

CLumetraDoc::CLumetraDoc(DocumentFrame& frame, const platform::Registry& registry, LumetraLog log,
                         WordProcessor& word)
    : m_frame(frame),
      m_registry(registry),
      m_log(std::move(log)),
      m_word(word),
      m_alive(std::make_shared<CLumetraDoc*>(this)) {
    std::string probeText;
    m_wordAvailable = m_word.Probe(probeText);
    if (m_wordAvailable) {
        m_log.Write("Lumetra was able to connect to Microsoft Word");
    } else {
        m_log.Write("Lumetra was NOT able to connect to Microsoft Word: ", probeText.substr(0, 255));
    }

    Table()
        .Method("RegisterSorelIDs", 1,
                {VarType::I4, VarType::I4, automation::ParamSpec(VarType::Variant, true)}, VarType::Empty,
                [this](std::span<const Variant> args) {
                    const Variant& window = args[2];
                    m_queue.Register(
                        args[0].AsI4(), args[1].AsI4(),
                        PosterFor(window.Type() == VarType::Dispatch ? window.AsDispatch() : nullptr));
                    return Variant();
                })
        .Method("GetNotifyMessage", 2, {}, VarType::Bstr,
                [this](std::span<const Variant>) { return Variant::Bstr(m_queue.GetNotifyMessage()); })
        .Method("SetCaption", 3, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) {
                    m_frame.SetTitle(args[0].AsBstr());
                    return Text(kOk);
                })
        .Method("OpenFile", 4, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) { return Variant::Bstr(OpenFile(args[0].AsBstr())); })
        .Method("EnableButton", 5, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) {
                    SetButtons(args[0].AsBstr(), true);
                    return Text(kOk);
                })
        .Method("DisableButton", 6, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) {
                    SetButtons(args[0].AsBstr(), false);
                    return Text(kOk);
                })
        .Method("SetVisible", 7, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) {
                    m_frame.SetVisible(!platform::EqualsNoCase(args[0].AsBstr(), "0"));
                    return Text(kOk);
                })
        .Method("FileClose", 8, {automation::ParamSpec(VarType::Variant, true)}, VarType::Bstr,
                [this](std::span<const Variant>) {
                    m_frame.CloseDocument();
                    return Text(kOk);
                })
        .Method("FileDelete", 9, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) { return Variant::Bstr(FileDelete(args[0].AsBstr())); })
        .Method("SetDeleteOnClose", 10, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) {
                    m_deleteOnClose = args[0].AsBstr() != "0";
                    return Text(kOk);
                })
        .Method(
            "InvokeMacro", 11, {VarType::Bstr}, VarType::Bstr,
            [this](std::span<const Variant> args) { return Variant::Bstr(InvokeMacro(args[0].AsBstr())); })
        .Method("GetPassword", 12, {automation::ParamSpec(VarType::Variant, true)}, VarType::Bstr,
                [this](std::span<const Variant>) {
                    m_frame.RequestPassword();
                    return Text(kOk);
                })
        .Method("RegisterSorelConnection", 13, {VarType::Bstr}, VarType::Bstr,
                [this](std::span<const Variant> args) {
                    m_connectionText = args[0].AsBstr();
                    return Text(kOk);
                })
        .Method("SafeToNotify", 14, {VarType::Bstr}, VarType::Bstr, [this](std::span<const Variant> args) {
            return Variant::Bstr(m_queue.SafeToNotify(args[0].AsBstr()));
        });
}

CLumetraDoc::~CLumetraDoc() {
    *m_alive = nullptr;
    m_wordDocument.reset();
    m_queue.Release([this](int32_t window) { m_frame.RaiseClientWindow(window); });
    m_log.Write("Lumetra is closing down");
}

bool CLumetraDoc::Enabled(Verdict verdict) const {
    switch (verdict) {
        case Verdict::Accept:
            return m_buttons.accept;
        case Verdict::Reject:
            return m_buttons.reject;
        case Verdict::Back:
            return m_buttons.back;
        case Verdict::Next:
            return m_buttons.next;
        case Verdict::Edit:
            return m_buttons.edit;
    }
    return false;
}

bool CLumetraDoc::OnCommand(Verdict verdict) {
    if (!Enabled(verdict)) {
        return false;
    }
    switch (verdict) {
        case Verdict::Accept:
            return m_queue.Enqueue(std::string(kAccept));
        case Verdict::Reject:
            return m_queue.Enqueue(std::string(kReject));
        case Verdict::Back:
            return m_queue.Enqueue(std::string(kBack));
        case Verdict::Next:
            return m_queue.Enqueue(std::string(kNext));
        case Verdict::Edit:
            Edit();
            return Editing();
    }
    return false;
}

std::filesystem::path CLumetraDoc::TemplatePath(WordApplication& application) const {
    auto folder = ConfiguredPath(m_registry, kTranscriptionKey, kTemplatesValue, kExpandLimit);
    if (!folder) {
        folder = ConfiguredPath(m_registry, kOlderTranscriptionKey, kTemplatesValue, kExpandLimit);
    }
    if (!folder) {
        folder = application.UserTemplatesPath();
    }
    return *folder / kTemplateFileName;
}

namespace {

std::string TrimRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

std::string DispatchFailure(const WordError& error) {
    return "Error: OLE Dispatch Exception\n\nThe OLE error \"" +
           (error.description.empty() ? std::string("unknown error") : error.description) +
           "\" was returned from " +
           (error.source.empty() ? std::string("an unknown application") : error.source) + ".";
}

}  // namespace

void CLumetraDoc::Edit() {
    if (m_wordDocument) {
        return;
    }
    std::string why;
    std::unique_ptr<WordApplication> application = m_word.Start(why);
    if (!application) {
        m_frame.ShowStop(
            "Error: Editor Not Found\n\nA suitable word processor could not found to edit this document.  "
            "The OLE "
            "error \"" +
            TrimRight(why) + "\" was returned.");
        m_wordAvailable = false;
        m_buttons.edit = false;
        m_frame.CommandsChanged();
        return;
    }
    const std::filesystem::path templatePath = TemplatePath(*application);
    m_log.Write("The template path is ", templatePath.string());
    WordError error;
    std::unique_ptr<WordDocument> document = application->AddFromTemplate(templatePath, error);
    bool ok = document != nullptr;
    auto runMacro = [&](const std::string& name, std::vector<Variant> args) {
        if (!document->HasMacro(name)) {
            error = {"Unable to get dispatch ID for " + name, ""};
            return false;
        }
        return document->RunMacro(name, args, error);
    };
    ok = ok && runMacro("RegisterSorelIDs", {Variant::I4(m_frame.WindowHandle()), Variant::I4(0)});
    ok = ok &&
         (m_connectionText.empty() || runMacro("RegisterSorelConnection", {Variant::Bstr(m_connectionText)}));
    if (!ok) {
        if (document) {
            document->CloseUnsaved();
        }
        application->Quit();
        m_frame.ShowStop(DispatchFailure(error));
        return;
    }
    m_wordDocument = std::move(document);
    m_frame.SetMainWindowEnabled(false);
    m_queue.Enqueue(std::string(kEdit));
    WordDocument* attached = m_wordDocument.get();
    m_wordDocument->OnEnded([alive = std::weak_ptr<CLumetraDoc*>(m_alive), attached] {
        auto self = alive.lock();
        if (self && *self && (*self)->m_wordDocument.get() == attached) {
            (*self)->EditEnd();
        }
    });
    if (!m_wordDocument->Show(error)) {
        m_log.Write("The word processor could not be shown: ", error.description);
    }
}

void CLumetraDoc::EditEnd() {
    if (!m_wordDocument) {
        return;  // a second notice for the same edit
    }
    m_wordDocument.reset();
    m_frame.SetMainWindowEnabled(true);
    m_queue.Enqueue(std::string(kEditEnd));
}

std::string CLumetraDoc::InvokeMacro(const std::string& text) {
    const size_t blank = text.find(' ');
    const std::string name = text.substr(0, blank);
    std::vector<Variant> args;
    if (blank != std::string::npos) {
        const size_t start = text.find_first_not_of(' ', blank);
        args.push_back(Variant::Bstr(start == std::string::npos ? std::string() : text.substr(start)));
    }
    // Macros live in the document being edited; without one there is nothing to run.
    if (!m_wordDocument) {
        return kFailed;
    }
    if (!m_wordDocument->HasMacro(name)) {
        m_frame.ShowStop("Error: Dispatch ID Unavailable\n\nLumetra was unable to get a dispatch ID for " +
                         name + ".");
        return kFailed;
    }
    WordError error;
    return m_wordDocument->RunMacro(name, args, error) ? kOk : kFailed;
}

void CLumetraDoc::PrintViaWordProcessor(const std::filesystem::path& file) {
    std::string why;
    if (!m_word.Print(file, why)) {
        m_log.Write("Printing through the word processor failed: ", why);
        m_frame.ShowStop("Lumetra could not establish a connection to Microsoft Word.");
    }
}

void CLumetraDoc::PasswordEntered(std::optional<std::string> password) {
    // Never logged, never kept: it goes to the client and nowhere else.
    m_queue.Enqueue(password ? std::move(*password) : std::string());
}

void CLumetraDoc::SetButtons(const std::string& name, bool on) {
    const bool edit = on && m_wordAvailable;
    if (platform::EqualsNoCase(name, "all")) {
        m_buttons = ButtonFlags{on, on, on, on, edit};
    } else if (platform::EqualsNoCase(name, "accept")) {
        m_buttons.accept = on;
    } else if (platform::EqualsNoCase(name, "reject")) {
        m_buttons.reject = on;
    } else if (platform::EqualsNoCase(name, "next")) {
        m_buttons.next = on;
    } else if (platform::EqualsNoCase(name, "back")) {
        m_buttons.back = on;
    } else if (platform::EqualsNoCase(name, "edit")) {
        m_buttons.edit = edit;
    } else {
        return;
    }
    m_frame.CommandsChanged();
}

std::optional<std::filesystem::path> CLumetraDoc::LocalPath(const std::string& hostPath,
                                                            std::string* why) const {
    return platform::HostPath(m_registry).Translate(hostPath, why);
}

std::string CLumetraDoc::OpenFile(const std::string& path) {
    m_log.Write("Lumetra is being asked to open the file named ", path);
    const std::string expanded = platform::ExpandEnvironment(path);
    if (expanded.size() >= kExpandLimit) {
        const std::string text = "Error " + std::to_string(kInsufficientBuffer) +
                                 ": the environment variables in the path cannot be expanded: " + path;
        m_log.Write(text);
        m_frame.ShowStop(text);
        return kFailed;
    }
    if (display::RouteFor(expanded) == display::DocumentRoute::Stylesheet) {
        m_stylesheetPath = expanded;
        return kOk;
    }
    std::string why;
    const auto local = LocalPath(expanded, &why);
    if (!local) {
        m_log.Write("Lumetra cannot open the file: ", why);
        return kFailed;
    }
    const bool deleteOnClose = m_deleteOnClose && MayDelete(*local);
    return m_frame.Display(*local, m_stylesheetPath, deleteOnClose) ? kOk : kFailed;
}

std::string CLumetraDoc::FileDelete(const std::string& path) {
    std::string why;
    const auto local = LocalPath(path, &why);
    if (!local || !MayDelete(*local, &why)) {
        m_log.Write("Lumetra does not delete the file: ", why);
        return kFailed;
    }
    if (::unlink(local->c_str()) != 0) {
        return kFailed;
    }
    return kOk;
}

}  // namespace viewer
