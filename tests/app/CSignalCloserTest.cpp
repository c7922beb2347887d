// SIGINT and SIGTERM reach the closing action on the user-interface thread,
// once however many come; when the closer goes the signals stay ignored if
// it fired (the program is ending) and get their default handlers if not.
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
            // Still caught: a second signal does not kill; it runs nothing.
            EXPECT_FALSE(HandlerIsDefault(signalNumber));
            std::raise(signalNumber);
            ProcessUntil([] { return false; });
            EXPECT_EQ(runs, 1);
        }
        // Closing by then: a late signal must not kill the program's end.
        for (int other : {SIGINT, SIGTERM}) {
            struct sigaction current {};
            sigaction(other, nullptr, &current);
            EXPECT_EQ(current.sa_handler, SIG_IGN);
        }
    }
    // A closer that never fired gives the default handlers back.
    {
        CSignalCloser closer([] {});
        ASSERT_EQ(closer.Install(), 0);
    }
    EXPECT_TRUE(HandlerIsDefault(SIGINT));
    EXPECT_TRUE(HandlerIsDefault(SIGTERM));
}

}  // namespace
