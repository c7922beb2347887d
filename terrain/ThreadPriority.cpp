#include "terrain/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr int kLowestPriority = 19;

// The nice value of thread or process `id`, or false with errno set
// (getpriority returns -1 for a nice value of -1 too).
bool NiceOf(id_t id, int* nice)
{
    errno = 0;
    *nice = ::getpriority(PRIO_PROCESS, id);
    return errno == 0;
}

} // namespace

int LowerThreadPriority(int steps)
{
    int base = 0;
    int own = 0;
    const auto self = static_cast<id_t>(::gettid());
    // PRIO_PROCESS with the process id reads the main thread's value.
    if (!NiceOf(static_cast<id_t>(::getpid()), &base) || !NiceOf(self, &own))
        return -1;
    const int wanted = std::max(own, std::min(kLowestPriority, base + std::max(steps, 0)));
    if (wanted == own)
        return 0;
    return ::setpriority(PRIO_PROCESS, self, wanted) == 0 ? 0 : -1;
}
