#pragma once
#include <string>

// An advisory lock on a terrain folder (flock on the folder itself, so no
// lock file is left behind and a read-only folder needs none): the runs that
// write a terrain set into a folder (the terrain tool, the form's and the
// launcher's generator) take it for the whole run, so a second run into the
// same folder is refused instead of removing the first one's staged files
// as leftovers or mixing its files into the set. The lock goes with the
// object, or with the process however it ends.
//
// One thread per object.
class CFolderLock {
public:
    CFolderLock() = default;
    ~CFolderLock();
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    // Takes the lock on `folder` ("" is the current folder) without waiting.
    // 0 when this object holds it, or when the folder's file system cannot
    // lock at all (advisory locking is then simply not there); -1 when
    // another run holds it or the folder cannot be opened, with a Spanish
    // reason in *message.
    int Acquire(const std::string& folder, std::string* message);
    void Release();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
