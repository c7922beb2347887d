#include "terrain/CFolderLock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CFolderLock::~CFolderLock()
{
    Release();
}

int CFolderLock::Acquire(const std::string& folder, std::string* message)
{
    Release();
    const std::string path = folder.empty() ? std::string(".") : folder;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *message = "No se puede abrir la carpeta " + path + ": " + std::strerror(errno);
        return -1;
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            *message = "Otro proceso está escribiendo un terreno en la carpeta " + path
                + "; espere a que termine o elija otra carpeta";
            return -1;
        }
        return 0; // no locking on this file system
    }
    m_fd = fd;
    return 0;
}

void CFolderLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
