// The shipped word processor: LibreOffice driven through soffice's command line. Printing runs headless on
// a profile of its own that lives only as long as the job; a suite built without CUPS would print nowhere
// and still end well, so it is refused. Editing needs Writer with a desktop interface:
// a new document from the template in an instance on the viewer's own profile (so that the process seen
// is the one showing the document), its macros run through macro: URLs handed to that instance, and the
// edit ends when that process does. Without a desktop Writer the probe says so and editing stays off.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "viewer/word_processor.h"

namespace viewer {

// Overrides the soffice the adapter runs (a path, or a name looked up in PATH).
inline constexpr const char* kOfficeProgramVariable = "CARROWLINE_SOFFICE";
// The Basic module of the template that holds RegisterSorelIDs and RegisterSorelConnection.
inline constexpr const char* kTemplateMacroModule = "Standard.Transcription";

struct LibreOfficeSettings {
    std::string program = "soffice";
    // The profile of the instance that edits; it outlives the viewer, as that instance may.
    std::filesystem::path editProfile;
    // Where each print job's private profile is made.
    std::filesystem::path tempFolder;
    std::chrono::milliseconds printTimeout{120000};
    std::chrono::milliseconds macroTimeout{30000};
    std::chrono::milliseconds exitPoll{250};

    // soffice from CARROWLINE_SOFFICE or PATH; the edit profile under the user's application data.
    static LibreOfficeSettings FromEnvironment();
};

class LibreOfficeWriter : public QObject, public WordProcessor {
  public:
    explicit LibreOfficeWriter(LibreOfficeSettings settings = LibreOfficeSettings::FromEnvironment());
    ~LibreOfficeWriter() override;

    bool Probe(std::string& why) override;
    std::unique_ptr<WordApplication> Start(std::string& why) override;
    bool Print(const std::filesystem::path& file, std::string& why) override;

    const LibreOfficeSettings& Settings() const { return m_settings; }
    // The program's full path, or empty with `why`.
    std::filesystem::path ResolveProgram(std::string& why) const;
    // An instance that outlives its edit is still reaped while the viewer runs.
    void Adopt(pid_t pid);
    // An instance an earlier edit left open, taken off the reaper's list; -1 when none runs.
    pid_t TakeRunningInstance();

  private:
    void ReapAdopted();

    LibreOfficeSettings m_settings;
    std::vector<pid_t> m_adopted;
    QTimer m_reaper;
};

}  // namespace viewer
