// The viewer program: its start by the object system (one document served on the session bus until its
// client releases it or leaves), standalone with an empty document, or "RegServer" to register and end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/bus/local_server.h"
#include "viewer/command_line.h"
#include "viewer/lumetra_doc.h"
#include "viewer/lumetra_log.h"
#include "viewer/qt/libreoffice_writer.h"
#include "viewer/qt/lumetra_frame.h"

namespace viewer {

// String 100: what the program says when the object system (here the session bus) cannot be used.
inline constexpr const char* kOleInitFailed =
    "OLE initialization failed.  Make sure that the OLE libraries are the correct version.";

class CLumetraApp {
  public:
    // Reads the log path and writes the launch line, as the program object does before start-up.
    CLumetraApp();
    ~CLumetraApp();

    // Start-up; false when the program is to end at once with `ExitCode()`.
    bool InitInstance(const std::vector<std::string>& args);
    int ExitCode() const { return m_exitCode; }

    CMainFrame* Frame() const { return m_frame.get(); }

  private:
    void MakeDocument();
    // Closing the window closes the document: served, through the host as at a release.
    void OnWindowClosed();
    // The document is gone (its release posted): the program ends.
    void Finish();

    LumetraLog m_log;
    LibreOfficeWriter m_word;
    std::unique_ptr<CMainFrame> m_frame;
    std::shared_ptr<CLumetraDoc> m_standaloneDoc;
    std::unique_ptr<platform::automation::bus::LocalServerHost> m_host;
    int m_exitCode = 0;
    bool m_ending = false;
};

}  // namespace viewer
