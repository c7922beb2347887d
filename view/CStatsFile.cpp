#include "view/CStatsFile.h"

#include <cerrno>
#include <cstring>

CStatsFile::~CStatsFile()
{
    if (m_file != nullptr) {
        Close();
    }
}

int CStatsFile::Open(const std::string& path, const char* header)
{
    if (m_file != nullptr) {
        Close();
    }
    m_failed = false;
    m_path = path;
    m_file = std::fopen(path.c_str(), "w");
    if (m_file == nullptr) {
        return -1;
    }
    std::setvbuf(m_file, nullptr, _IOLBF, BUFSIZ);
    Write(header);
    return 0;
}

void CStatsFile::Write(const char* line)
{
    if (m_file == nullptr || m_failed.load()) {
        return;
    }
    errno = 0;
    if (std::fputs(line, m_file) < 0 || std::ferror(m_file) != 0) {
        Fail(errno);
    }
}

int CStatsFile::Close()
{
    if (m_file == nullptr) {
        return -1;
    }
    errno = 0;
    const bool flushed = std::fflush(m_file) == 0 && std::ferror(m_file) == 0;
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!flushed) {
        Fail(flushError);
    } else if (!closed) {
        Fail(errno);
    }
    return m_failed.load() ? -1 : 0;
}

void CStatsFile::Fail(int error)
{
    if (m_failed.exchange(true)) {
        return;
    }
    std::fprintf(stderr, "vantapeak: no se pudo escribir la estadística en %s: %s (faltan filas desde aquí)\n",
                 m_path.c_str(), error != 0 ? std::strerror(error) : "error de escritura");
}
