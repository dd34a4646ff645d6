// The viewer's document object as its client drives it: the fourteen members of its dispatch interface, the
// five button flags behind the verdict commands, the verdict queue, and the deletion rule for files the
// client names. What it shows and asks goes through DocumentFrame, which the window implements.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/automation/dispatch_object.h"
#include "platform/automation/guid.h"
#include "viewer/lumetra_log.h"
#include "viewer/notify_queue.h"
#include "viewer/word_processor.h"

namespace platform {
class Registry;
}

namespace viewer {

inline constexpr platform::automation::Guid kLumetraClsid =
    platform::automation::Guid::FromLiteral("{6D91C147-3D7F-4F4D-B570-F4E69B8D09C0}");
inline constexpr const char* kLumetraProgId = "Lumetra.Document";
inline constexpr const char* kLumetraTypeName = "Lumetr Document";
inline constexpr const char* kLumetraBusName = "com.carrowline.Lumetra";
inline constexpr size_t kExpandLimit = 1024;
inline constexpr const char* kTemplatesValue = "Templates";
inline constexpr const char* kOlderTranscriptionKey =
    "Software\\Carrowline Corporation\\Carrowline Transcription";
inline constexpr const char* kTemplateFileName = "tarn transcription.dot";

// What the document asks of its window.
class DocumentFrame {
  public:
    virtual ~DocumentFrame() = default;
    virtual void SetTitle(const std::string& title) = 0;
    // Shown also brings it to the front.
    virtual void SetVisible(bool visible) = 0;
    // False when nothing could be shown.
    virtual bool Display(const std::filesystem::path& path, const std::string& stylesheetPath,
                         bool deleteOnClose) = 0;
    virtual void CloseDocument() = 0;
    // Later, once the current call has returned: the "Approve" dialog, whose answer comes back through
    // CLumetraDoc::PasswordEntered.
    virtual void RequestPassword() = 0;
    // A message box with the stop icon, titled with the program's name.
    virtual void ShowStop(const std::string& text) = 0;
    // The button flags changed: the verdict commands follow them.
    virtual void CommandsChanged() = 0;
    // The client's window to the front, where the desktop allows it.
    virtual void RaiseClientWindow(int32_t window) = 0;
    // The viewer's own window as the word processor's template is told it.
    virtual int32_t WindowHandle() = 0;
    // Disabled while the word processor edits the document.
    virtual void SetMainWindowEnabled(bool enabled) = 0;
};

// The verdict commands of the window and the flags that enable them.
enum class Verdict { Accept, Reject, Back, Next, Edit };

struct ButtonFlags {
    bool accept = false;
    bool reject = false;
    bool back = false;
    bool next = false;
    bool edit = false;
};

// Whether the client may have `path` deleted: a regular file, not reached through a link, with no hidden
// component. `why` says what stands in the way.
bool MayDelete(const std::filesystem::path& path, std::string* why = nullptr);

class CLumetraDoc : public platform::automation::DispatchObject {
  public:
    // Probes `word`, which must outlive the document.
    CLumetraDoc(DocumentFrame& frame, const platform::Registry& registry, LumetraLog log,
                WordProcessor& word);
    ~CLumetraDoc() override;

    // A verdict command the user chose; false when it was not enabled or not queued.
    bool OnCommand(Verdict verdict);
    // The edit ended: the template's notice, or its document went away.
    void EditEnd();
    bool Editing() const { return m_wordDocument != nullptr; }
    // Prints a word-processor file through the word processor.
    void PrintViaWordProcessor(const std::filesystem::path& file);
    // The template the next edit uses.
    std::filesystem::path TemplatePath(WordApplication& application) const;

    // The "Approve" dialog closed: the typed text with OK, nullopt with Cancel (queued as "").
    void PasswordEntered(std::optional<std::string> password);

    const ButtonFlags& Buttons() const { return m_buttons; }
    bool Enabled(Verdict verdict) const;
    bool WordAvailable() const { return m_wordAvailable; }
    const std::string& StylesheetPath() const { return m_stylesheetPath; }
    const std::string& ConnectionText() const { return m_connectionText; }
    NotifyQueue& Queue() { return m_queue; }

    // A host's path on this machine, or nothing with the reason in `why`.
    std::optional<std::filesystem::path> LocalPath(const std::string& hostPath, std::string* why) const;

  private:
    std::string OpenFile(const std::string& path);
    void Edit();
    std::string InvokeMacro(const std::string& text);
    std::string FileDelete(const std::string& path);
    void SetButtons(const std::string& name, bool on);

    DocumentFrame& m_frame;
    const platform::Registry& m_registry;
    LumetraLog m_log;
    NotifyQueue m_queue;
    ButtonFlags m_buttons;
    WordProcessor& m_word;
    std::unique_ptr<WordDocument> m_wordDocument;
    // Lets a word processor's late notice find out that this document is gone.
    std::shared_ptr<CLumetraDoc*> m_alive;
    bool m_wordAvailable = false;
    bool m_closeAllowed = true;
    bool m_deleteOnClose = false;
    std::string m_connectionText;
    std::string m_stylesheetPath;
};

}  // namespace viewer
