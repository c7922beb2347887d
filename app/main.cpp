#include <cstdio>
#include <string>
#include <vector>

#include "app/CvantaPeakApp.h"
#include "app/ProgramOptions.h"

int main(int argc, char** argv)
{
    // The options first, before Qt looks for a display: --help, --version
    // and a bad option need none.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CCommandLineInfo info;
    std::string text;
    switch (ParseProgramOptions(arguments, info, text)) {
    case COptionParser::Result::Help:
    case COptionParser::Result::Version:
        std::fputs(text.c_str(), stdout);
        return 0;
    case COptionParser::Result::Error:
        std::fputs(text.c_str(), stderr);
        return COptionParser::kUsageError;
    case COptionParser::Result::Run:
        break;
    }
    if (!DisplayAvailable()) {
        std::fputs(NoDisplayMessage(), stderr);
        return 1;
    }
    CvantaPeakApp app(argc, argv);
    if (!app.InitInstance()) {
        return app.ExitCode();
    }
    return app.Run();
}
