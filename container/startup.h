// How the container starts: the command line turned into one log-in call (or the usage text, or a refusal
// when both client modes are installed), the saved window state, the title by program mode and the close
// rule. Plain functions over the registry so that every rule can be checked from a table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace container {

inline constexpr std::string_view kUsageText =
    "There are three versions of Brantor that can be launched:\n\n1. No command line switches\tUse Practice "
    "Probe version\n2. -h\t\t\tConnect to the default remote sorel\n3. -l or Command line switches but no "
    "-h\n\t\t\tConnect to the default local sorel\n\nThe following switches perform the appropriate "
    "functions for\n   versions two and three above:\n-b\t\t\tBilling Service\n-bs\t\t\tBilling Service "
    "with Synchronized User Numbers\n-m\t\t\tMSO\n-ms\t\t\tMSO with Synchronized User Numbers\n-t<term setup "
    "number>\tTerminal Setup Number\n-p<printer setup number>\tDefault Printer Setup Number\n-#<user number> "
    "<password> \tSpecifies Sorel Login Info\n-d<chain command> \tSpecifies Direct Chain Command\n-c<currpat "
    "number> \t\tSpecifies Current Patient\n-s \t\t\tSpecifies Simple Mode\n-r \t\t\tSpecifies OS Command To "
    "Run\n-x[object handle] \t\tPipe Initializer Object\n\nIf the following character is present all other "
    "characters are ignored:\n?\t\t\tBrings up this text";

inline constexpr std::string_view kBothInstalledText =
    " Both Varnel and Ostrel are installed on the Machine. So, specify '-l' option for Ostrel and '-h' "
    "option for Varnel. Or, run the practice selector";

inline constexpr std::string_view kQuitCommand = "/quit\r";
inline constexpr std::string_view kCannotQuitText =
    "The quit function cannot be performed from this screen.\nEscape to a patient retrieval or menu screen "
    "and then quit.";

// A text value under HKEY_LOCAL_MACHINE; nullopt when missing, unreadable or longer than 1023 characters.
std::optional<std::string> ReadMachineText(std::string_view key, std::string_view name);

// Which client modes have their server settings on this machine.
struct InstalledModes {
    bool remote = false;  // Varnel: RemoteDataSet of at least 2 characters
    bool local = false;   // Ostrel: SorelData of at least 2 characters
    bool operator==(const InstalledModes&) const = default;
};

// Read from HKEY_LOCAL_MACHINE; a missing or unreadable value counts as not installed.
InstalledModes ReadInstalledModes();

enum class StartupAction {
    Usage,          // show the usage text and end with exit code 1
    AutoLogin,      // a further window of a running session
    Login,          // the control's Login with loginType and loginText
    BothInstalled,  // refuse: kBothInstalledText
};

struct StartupDecision {
    StartupAction action = StartupAction::Login;
    int32_t pipeHandle = 0;  // AutoLogin
    int32_t processId = 0;   // AutoLogin
    int16_t loginType = 3;   // Login
    std::string loginText;   // Login: the whole text the control reads
    bool operator==(const StartupDecision&) const = default;
};

// `commandLine` is the program's argument text without the program name.
StartupDecision DecideStartup(std::string_view commandLine, const InstalledModes& modes);

// The argument text the decision looks at (the arguments after the program name): double quotes
// removed, blanks trimmed.
std::string CleanArguments(std::string_view commandLine);
// `text` without the word that follows each "-#n" word (the application password), words rejoined by
// single blanks.
std::string WithoutPassword(std::string_view text);
// Of the text without its password: 1 when the part before the first "-r" holds "-X", else 2 when it
// holds "-h", else 3.
int16_t LoginTypeOf(std::string_view text);
// The number after the first `prefix` up to the next blank, read as the C library reads a decimal long
// (0 when there are no digits or the value does not fit in 32 bits).
int32_t NumberAfter(std::string_view text, std::string_view prefix);

// The argument text of a process from its argv, each argument after the program quoted as the Windows
// command-line splitter expects so that the control's option parser sees the same words.
std::string ArgumentText(int argc, const char* const* argv);

// The frame's normal-position rectangle.
struct WindowRect {
    int32_t left = 20;
    int32_t top = 20;
    int32_t right = 750;
    int32_t bottom = 478;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const WindowRect&) const = default;
};

// `WindowSize`, or the default rectangle when it is missing or not a usable rectangle.
WindowRect ReadWindowSize();
// `ZoomMode`: nullopt when it cannot be read.
std::optional<bool> ReadZoomMode();
// Writes `ZoomMode`, then `WindowSize`; a failure shows its message box and stops.
bool SaveWindowState(bool zoomed, const WindowRect& rect);

// `PROGRAM`, 0 when it cannot be read.
uint32_t ReadProgramMode();
// "Varnel" when the program mode is 2, else "Ostrel".
std::string ProgramModeTitle(uint32_t programMode);
std::string ProgramModeTitle();
// HKEY_LOCAL_MACHINE "...\{Varnel|Ostrel}.0\Docs", the Varnel key when the program mode is 2.
std::string DocsKey(uint32_t programMode);

}  // namespace container
