#include "app/CSignalCloser.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the installed closer's pipe, read by the handler.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kSignals[] = {SIGINT, SIGTERM};

}  // namespace

CSignalCloser::CSignalCloser(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
}

CSignalCloser::~CSignalCloser()
{
    if (m_installed) {
        // Once the closing action has run the program is on its way out: a
        // late signal (the second of `timeout`'s two) must not turn that
        // clean end into a kill, so the signals stay ignored.
        for (int signalNumber : kSignals) {
            std::signal(signalNumber, m_fired ? SIG_IGN : SIG_DFL);
        }
        g_writeEnd.store(-1);
    }
    delete m_notifier;
    for (int& end : m_pipe) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
}

int CSignalCloser::Install()
{
    if (m_installed) {
        return 0;
    }
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { OnReadable(); });
    g_writeEnd.store(m_pipe[1]);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals) {
        if (sigaction(signalNumber, &action, nullptr) != 0) {
            return -1;
        }
    }
    m_installed = true;
    return 0;
}

void CSignalCloser::OnSignal(int signalNumber)
{
    const int end = g_writeEnd.load();
    if (end >= 0) {
        const char byte = static_cast<char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(end, &byte, 1);
    }
}

void CSignalCloser::OnReadable()
{
    char bytes[16];
    while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_fired) {
        return;
    }
    m_fired = true;
    if (m_onSignal) {
        m_onSignal();
    }
}
