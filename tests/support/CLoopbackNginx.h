#pragma once
// nginx run by a test on 127.0.0.1 at a free port, serving one folder:
//   /FILE        the file, with range requests
//   /fail/FILE   500 for every request
//   /slow/FILE   the file at `slowBytesPerSecond` (nginx's limit_rate)
// The server runs as a child of the test, in its own work folder, and is
// stopped by Stop or the destructor. Start and Stop wait a bounded time.
#include <string>

#include <sys/types.h>

class CLoopbackNginx {
public:
    CLoopbackNginx() = default;
    ~CLoopbackNginx();
    CLoopbackNginx(const CLoopbackNginx&) = delete;
    CLoopbackNginx& operator=(const CLoopbackNginx&) = delete;

    // Whether nginx is installed where Start looks for it.
    static bool Available();

    // Serves `root` from `work` (created; logs and nginx's files go there)
    // on `port`, or on a free port when 0. 0, or -1 when nginx did not
    // answer within a few seconds.
    int Start(const std::string& root, const std::string& work, long slowBytesPerSecond, int port = 0);
    // Stops the server (SIGTERM, then SIGKILL after a few seconds).
    void Stop();

    int Port() const { return m_port; }
    // http://127.0.0.1:PORT/path
    std::string Url(const std::string& path) const;

private:
    pid_t m_pid = -1;
    int m_port = 0;
};
