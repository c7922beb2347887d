#pragma once
#include <string>
#include <vector>

// The files of one terrain in a folder (heightmap, texture and, when there is
// one, the 16-bit heightmap), replaced together.
//
// A run writes each file it makes to the path Stage gives (NAME.new beside
// NAME) and names with Drop the files the new set must not have. Commit then
// puts the whole set in place: every earlier file is first kept under a
// backup name (NAME.old, a second hard link when the folder allows it), the
// staged files are renamed over their names in the order they were staged
// and the dropped ones removed; if any step fails, every name gets back the
// file it had before, so a failed run never leaves a mix of old and new
// files. Staged files that were never committed are removed by Abandon or by
// the destructor.
//
// A run killed half way leaves NAME.new, NAME.old and the save temporaries
// NAME.tmp-PID-N / NAME.new.tmp-PID-N behind; RemoveLeftovers, called at the
// start of the next run, removes them (temporaries only when process PID is
// gone, so a save of a running process is not touched).
//
// One thread per object. Folder paths are narrow strings, "" meaning ".".
class CTerrainFileSet {
public:
    explicit CTerrainFileSet(std::string folder);
    ~CTerrainFileSet();
    CTerrainFileSet(const CTerrainFileSet&) = delete;
    CTerrainFileSet& operator=(const CTerrainFileSet&) = delete;

    // Path of `name` inside the folder.
    std::string PathOf(const std::string& name) const;

    // Removes the leftovers of earlier killed runs for each of `names`.
    void RemoveLeftovers(const std::vector<std::string>& names) const;

    // The path to write `name` to before Commit; any file there is removed.
    std::string Stage(const std::string& name);
    // `name` is not part of the new set: Commit removes it.
    void Drop(const std::string& name);

    // Puts the set in place. 0, or -1 with every name holding what it held
    // before and the staged files removed; FailedName() then says which file
    // could not be put in place.
    int Commit();
    // Removes the staged files; the folder keeps its earlier set.
    void Abandon();

    const std::string& FailedName() const { return m_failedName; }

private:
    struct Entry {
        std::string name;
        bool staged = false;    // false: dropped
        bool hadTarget = false; // a file was at the name before Commit
        bool linked = false;    // the backup is a second link; the name still holds the file
        bool done = false;      // the name holds the new state
    };

    void RollBack();

    std::string m_folder;
    std::vector<Entry> m_entries;
    std::string m_failedName;
};
