#pragma once
// Numbered PNG frames in a folder: frame_00000.png, frame_00001.png, ...
// The frames go into a temporary folder beside the final one, which takes
// the final name when Finish succeeds; a failure, Abort or destruction
// before Finish removes the temporary folder, so the final name never holds
// half a recording.
//
// Threads: one thread at a time per object.
#include <cstdint>
#include <string>

class CPngSequence {
public:
    CPngSequence() = default;
    ~CPngSequence();
    CPngSequence(const CPngSequence&) = delete;
    CPngSequence& operator=(const CPngSequence&) = delete;

    // Starts the folder `path` for width x height frames. The folder must
    // not exist yet or be empty. 0, or -1 with a Spanish message in *error.
    int Open(const std::string& path, int width, int height, std::string* error);
    // Writes the next frame: width x height 0xAARRGGBB pixels (alpha
    // ignored), top row first. 0 or -1 (with *error).
    int Write(const std::uint32_t* pixels, std::string* error);
    // Gives the folder its final name. 0 or -1 (with *error).
    int Finish(std::string* error);
    // Drops the frames written so far.
    void Abort();

    // The name of frame `index` inside the folder.
    static std::string FrameName(int index);
    static std::string TemporaryPath(const std::string& path);

private:
    std::string m_path;
    std::string m_tempPath;
    bool m_open = false;
    int m_width = 0;
    int m_height = 0;
    int m_frames = 0;
};
