// Whether the window system Qt is about to start can be reached. Qt ends the program with an abort when
// its platform cannot start, so the programs ask first and end with a plain error instead.
#pragma once

#include <string>
#include <vector>

namespace suite::qt {

// The platforms Qt would try, in order, from an explicit -platform argument, else QT_QPA_PLATFORM, else
// the desktop defaults. Plugin options (after ':') are dropped.
std::vector<std::string> PlatformCandidates(int argc, char** argv);

// True when one of the candidate platforms can start here. Window systems are tried for real (the X
// server named by -display or DISPLAY, the Wayland socket); any other platform (offscreen, vnc...) is
// left to Qt. On false, `message` holds one line naming DISPLAY's value.
bool DisplayReachable(int argc, char** argv, std::string& message);

// For a program's main before its QApplication: on an unreachable display, writes
// "<program>: <message>" to standard error and returns false.
bool CheckDisplay(const char* program, int argc, char** argv);

}  // namespace suite::qt
