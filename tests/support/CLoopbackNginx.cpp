#include "tests/support/CLoopbackNginx.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr int kWaitSteps = 100; // of 50 ms

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool Answers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return connected;
}

} // namespace

CLoopbackNginx::~CLoopbackNginx() { Stop(); }

bool CLoopbackNginx::Available() { return ::access(kNginx, X_OK) == 0; }

int CLoopbackNginx::Start(const std::string& root, const std::string& work, long slowBytesPerSecond, int port)
{
    Stop();
    std::filesystem::create_directories(work + "/logs");
    m_port = port != 0 ? port : FreePort();
    if (m_port == 0)
        return -1;
    const std::string conf = work + "/nginx.conf";
    {
        std::ofstream out(conf);
        out << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
            << "pid " << work << "/nginx.pid;\nerror_log " << work << "/error.log;\n"
            << "events { worker_connections 64; }\n"
            << "http {\n  access_log " << work << "/access.log;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            out << "  " << temp << "_temp_path " << work << "/" << temp << ";\n";
        out << "  server {\n    listen 127.0.0.1:" << m_port << ";\n    root " << root << ";\n"
            << "    location /fail/ { return 500; }\n"
            << "    location /slow/ { alias " << root << "/; limit_rate " << slowBytesPerSecond << "; }\n"
            << "  }\n}\n";
    }
    const std::string errorLog = work + "/error.log";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(kNginx, kNginx, "-e", errorLog.c_str(), "-p", work.c_str(), "-c", conf.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid < 0)
        return -1;
    m_pid = pid;
    for (int step = 0; step < kWaitSteps; ++step) {
        if (Answers(m_port))
            return 0;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    return -1;
}

void CLoopbackNginx::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int step = 0; step < kWaitSteps; ++step) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::string CLoopbackNginx::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
}
