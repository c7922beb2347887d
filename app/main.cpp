#include "app/CvantaPeakApp.h"

int main(int argc, char** argv)
{
    CvantaPeakApp app(argc, argv);
    if (!app.InitInstance()) {
        return app.ExitCode();
    }
    return app.Run();
}
