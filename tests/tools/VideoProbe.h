#pragma once
// Reads an MP4 file back with libavformat: its video stream's codec, frame
// size and the number of video frames (packets) it holds.
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

struct VideoProbe {
    bool ok = false;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    int frames = 0;
    double framesPerSecond = 0.0;
};

inline VideoProbe ProbeVideo(const std::string& path)
{
    VideoProbe probe;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return probe;
    }
    const int stream = avformat_find_stream_info(format, nullptr) >= 0
                           ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                           : -1;
    if (stream >= 0) {
        const AVCodecParameters* parameters = format->streams[stream]->codecpar;
        probe.codec = parameters->codec_id;
        probe.width = parameters->width;
        probe.height = parameters->height;
        probe.framesPerSecond = av_q2d(format->streams[stream]->avg_frame_rate);
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            probe.frames += packet->stream_index == stream ? 1 : 0;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        probe.ok = true;
    }
    avformat_close_input(&format);
    return probe;
}
