#pragma once
// The per-frame statistics file of --stats: opened by the application, its
// rows written by the render thread, closed by the application once that
// thread has ended.
//
// A write that fails (a full disk, /dev/full, an I/O error) is not silent:
// the first failure is reported once on standard error with its cause, the
// rows after it are dropped (the flight goes on) and Close returns -1, so
// the program can end with a failure status.
//
// Threads: Open and Close on one thread while no row is written; Write on
// one thread at a time; Failed on any thread.
#include <atomic>
#include <cstdio>
#include <string>

class CStatsFile {
public:
    CStatsFile() = default;
    ~CStatsFile();
    CStatsFile(const CStatsFile&) = delete;
    CStatsFile& operator=(const CStatsFile&) = delete;

    // Creates (or empties) `path` and writes `header`, a line ending in a
    // newline. 0 once the file is open, even when the header could not be
    // written (that failure is reported and counts as one); -1 when the file
    // cannot be opened, with nothing reported (the caller says so).
    int Open(const std::string& path, const char* header);
    // Writes one line (ending in a newline) in one write: line-buffered, so
    // a killed program leaves at most its last row cut. Nothing after the
    // first failure, and nothing while the file is not open.
    void Write(const char* line);
    // Closes the file, flushing what is left. 0, or -1 when a write or the
    // close failed (reported), or when the file was never opened.
    int Close();

    bool IsOpen() const { return m_file != nullptr; }
    bool Failed() const { return m_failed.load(); }

private:
    // Records the failure with `error` (an errno value) and reports it once.
    void Fail(int error);

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::atomic<bool> m_failed{false};
};
