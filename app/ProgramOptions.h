#pragma once
// The window program's command line: every option of vantapeak, declared
// once for main() (which reads it before any Qt object exists, so that
// --help needs no display) and for CvantaPeakApp::InitInstance.
#include <string>
#include <vector>

#include "app/CCommandLineInfo.h"
#include "tools/COptionParser.h"

// Reads `arguments` (without the program's name) into `info`. For Help and
// Version `text` is what to print on standard output, for Error the
// Spanish message naming the option at fault, for standard error.
COptionParser::Result ParseProgramOptions(const std::vector<std::string>& arguments, CCommandLineInfo& info,
                                          std::string& text);

// True when Qt can open a window: a display is named (X11 or Wayland), or a
// Qt platform was chosen explicitly (offscreen, say).
bool DisplayAvailable();

// The line printed instead of starting when DisplayAvailable() is false.
const char* NoDisplayMessage();
