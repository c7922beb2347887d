#pragma once
// H.264 video in an MP4 file through FFmpeg's libraries (libavcodec,
// libavformat, libswscale): frames of 32-bit pixels go in, one by one, at a
// fixed frame rate.
//
// The file is written under a temporary name beside the final one and
// renamed when Finish succeeds, so the final name never holds half a video:
// a failure, Abort or destruction before Finish removes what was written.
//
// Threads: one thread at a time per object.
#include <cstdint>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

class CVideoEncoder {
public:
    CVideoEncoder() = default;
    ~CVideoEncoder();
    CVideoEncoder(const CVideoEncoder&) = delete;
    CVideoEncoder& operator=(const CVideoEncoder&) = delete;

    // Starts `path` for width x height frames (both even, as H.264's 4:2:0
    // colour needs) at `fps` frames per second. 0, or -1 with a Spanish
    // message in *error (the file cannot be written, `path` is a folder, no
    // H.264 encoder).
    int Open(const std::string& path, int width, int height, int fps, std::string* error);
    // Encodes one frame of width x height pixels, 0xAARRGGBB values (alpha
    // ignored), the top row first. 0 or -1 (with *error).
    int Write(const std::uint32_t* pixels, std::string* error);
    // Ends the video and gives it its final name. 0 or -1 (with *error; the
    // temporary file is gone).
    int Finish(std::string* error);
    // Drops the video: the temporary file is removed.
    void Abort();

    int FramesWritten() const { return m_frames; }
    // The temporary name the video is written under until Finish.
    static std::string TemporaryPath(const std::string& path);

private:
    // Hands every packet the encoder has ready to the file.
    int Drain();
    void Release();

    std::string m_path;
    std::string m_tempPath;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_scale = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_frames = 0;
    bool m_tempWritten = false; // the temporary file exists and is ours
};
