#pragma once
// SIGINT and SIGTERM as a user's "Salir": the signal handler only writes a
// byte into a pipe (all it may safely do); a socket notifier on the
// user-interface thread reads it and runs the closing action there, so the
// view ends its threads and the statistics file is flushed as on a normal
// close. The closing action runs once: the handlers stay installed until the
// closer goes, so a second signal while the window is still closing (as
// `timeout` sends one to the program and one to its process group) is
// absorbed instead of killing the program half way through its close.
//
// At most one installed instance per process (the handlers are global).
// User-interface thread only.
#include <QObject>

#include <functional>

class QSocketNotifier;

class CSignalCloser : public QObject {
    Q_OBJECT

public:
    explicit CSignalCloser(std::function<void()> onSignal, QObject* parent = nullptr);
    // Restores the default handlers (or, once the closing action has run,
    // ignores the signals for the rest of the program's end) and closes the
    // pipe.
    ~CSignalCloser() override;
    CSignalCloser(const CSignalCloser&) = delete;
    CSignalCloser& operator=(const CSignalCloser&) = delete;

    // Creates the pipe and installs the handlers; 0, or -1 when the pipe or
    // a handler could not be made.
    int Install();

private:
    static void OnSignal(int signalNumber);
    void OnReadable();

    std::function<void()> m_onSignal;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
    bool m_fired = false; // the closing action has run
};
