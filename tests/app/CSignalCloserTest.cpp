// SIGINT and SIGTERM reach the closing action on the user-interface thread,
// once however many signals come, and the default handlers come back when
// the closer goes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>

#include "../QtApplicationEnvironment.h"
#include "app/CSignalCloser.h"

namespace {

// Processes events until `done` or two seconds have passed.
template <typename Done>
void ProcessUntil(Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

bool HandlerIsDefault(int signalNumber)
{
    struct sigaction current {};
    sigaction(signalNumber, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

TEST(CSignalCloser, EachSignalRunsTheActionOnTheEventLoop)
{
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        int runs = 0;
        {
            CSignalCloser closer([&runs] { ++runs; });
            ASSERT_EQ(closer.Install(), 0);
            EXPECT_FALSE(HandlerIsDefault(signalNumber));
            std::raise(signalNumber);
            // Not inside the handler: only once the event loop reads the pipe.
            EXPECT_EQ(runs, 0);
            ProcessUntil([&runs] { return runs > 0; });
            EXPECT_EQ(runs, 1);
            // A second and a third signal (SIGINT and SIGTERM mixed) neither
            // kill the process nor run the action again.
            EXPECT_FALSE(HandlerIsDefault(signalNumber));
            std::raise(SIGTERM);
            std::raise(SIGINT);
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < 200) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            }
            EXPECT_EQ(runs, 1);
        }
        EXPECT_TRUE(HandlerIsDefault(SIGINT));
        EXPECT_TRUE(HandlerIsDefault(SIGTERM));
    }
}

}  // namespace
