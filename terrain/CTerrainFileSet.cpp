#include "terrain/CTerrainFileSet.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kStageSuffix = ".new";
const char* const kBackupSuffix = ".old";
const char* const kTempInfix = ".tmp-";

// Whether `rest` is "PID-N" (both decimal) with PID a process that no longer
// exists; the temporaries of running processes are theirs.
bool IsDeadTemporary(const std::string& rest)
{
    const std::size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 >= rest.size())
        return false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (i != dash && (rest[i] < '0' || rest[i] > '9'))
            return false;
    }
    const long pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
    if (pid <= 0 || pid == static_cast<long>(::getpid()))
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

CTerrainFileSet::CTerrainFileSet(std::string folder)
    : m_folder(std::move(folder))
{
}

CTerrainFileSet::~CTerrainFileSet()
{
    Abandon();
}

std::string CTerrainFileSet::PathOf(const std::string& name) const
{
    if (m_folder.empty())
        return name;
    return m_folder.back() == '/' ? m_folder + name : m_folder + "/" + name;
}

void CTerrainFileSet::RemoveLeftovers(const std::vector<std::string>& names) const
{
    for (const std::string& name : names) {
        ::unlink((PathOf(name) + kStageSuffix).c_str());
        ::unlink((PathOf(name) + kBackupSuffix).c_str());
    }
    DIR* folder = ::opendir(m_folder.empty() ? "." : m_folder.c_str());
    if (folder == nullptr)
        return;
    std::vector<std::string> doomed;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string file = entry->d_name;
        for (const std::string& name : names) {
            for (const std::string& prefix :
                {name + kTempInfix, name + kStageSuffix + kTempInfix}) {
                if (StartsWith(file, prefix) && IsDeadTemporary(file.substr(prefix.size())))
                    doomed.push_back(file);
            }
        }
    }
    ::closedir(folder);
    for (const std::string& file : doomed)
        ::unlink(PathOf(file).c_str());
}

std::string CTerrainFileSet::Stage(const std::string& name)
{
    const std::string stage = PathOf(name) + kStageSuffix;
    ::unlink(stage.c_str());
    Entry entry;
    entry.name = name;
    entry.staged = true;
    m_entries.push_back(entry);
    return stage;
}

void CTerrainFileSet::Drop(const std::string& name)
{
    Entry entry;
    entry.name = name;
    m_entries.push_back(entry);
}

int CTerrainFileSet::Commit()
{
    m_failedName.clear();
    // Keep every earlier file under its backup name. A second link leaves
    // the name in place; where the folder has no hard links the file moves,
    // and the name is empty until the new file arrives or the old one returns.
    for (Entry& entry : m_entries) {
        const std::string target = PathOf(entry.name);
        const std::string backup = target + kBackupSuffix;
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
            continue; // nothing to keep; a folder in the way fails below
        ::unlink(backup.c_str());
        if (::link(target.c_str(), backup.c_str()) == 0) {
            entry.hadTarget = true;
            entry.linked = true;
        } else if (::rename(target.c_str(), backup.c_str()) == 0) {
            entry.hadTarget = true;
        } else {
            m_failedName = entry.name;
            RollBack();
            return -1;
        }
    }
    for (Entry& entry : m_entries) {
        const std::string target = PathOf(entry.name);
        bool ok = true;
        if (entry.staged)
            ok = ::rename((target + kStageSuffix).c_str(), target.c_str()) == 0;
        else
            ok = ::unlink(target.c_str()) == 0 || errno == ENOENT;
        if (!ok) {
            m_failedName = entry.name;
            RollBack();
            return -1;
        }
        entry.done = true;
    }
    for (const Entry& entry : m_entries) {
        if (entry.hadTarget)
            ::unlink((PathOf(entry.name) + kBackupSuffix).c_str());
    }
    const int fd = ::open(m_folder.empty() ? "." : m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    m_entries.clear();
    return 0;
}

void CTerrainFileSet::RollBack()
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        const std::string target = PathOf(it->name);
        const std::string backup = target + kBackupSuffix;
        if (it->hadTarget && (it->done || !it->linked))
            std::rename(backup.c_str(), target.c_str());
        else if (it->hadTarget)
            ::unlink(backup.c_str());
        else if (it->done && it->staged)
            ::unlink(target.c_str());
        it->done = false;
        it->hadTarget = false;
    }
    Abandon();
}

void CTerrainFileSet::Abandon()
{
    for (const Entry& entry : m_entries) {
        if (entry.staged)
            ::unlink((PathOf(entry.name) + kStageSuffix).c_str());
    }
    m_entries.clear();
}
