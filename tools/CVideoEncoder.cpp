#include "tools/CVideoEncoder.h"

#include <cstdio>

#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// x264's speed and quality: "veryfast" keeps up with the renderer on two
// cores; constant quality 20 looks clean on textured terrain.
constexpr const char* kPreset = "veryfast";
constexpr const char* kQuality = "20";

} // namespace

CVideoEncoder::~CVideoEncoder() { Abort(); }

std::string CVideoEncoder::TemporaryPath(const std::string& path) { return path + ".part"; }

int CVideoEncoder::Open(const std::string& path, int width, int height, int fps, std::string* error)
{
    Abort();
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = "ya existe " + path + " y es una carpeta, no un fichero de vídeo";
        return -1;
    }
    if (width < 2 || height < 2 || width % 2 != 0 || height % 2 != 0 || fps < 1) {
        *error = "el vídeo necesita un ancho y un alto pares y al menos un fotograma por segundo";
        return -1;
    }
    // The encoders' own chatter is not for the user; errors are reported here.
    av_log_set_level(AV_LOG_ERROR);
    m_path = path;
    m_tempPath = TemporaryPath(path);
    m_width = width;
    m_height = height;
    m_frames = 0;

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (codec == nullptr) {
        *error = "no hay codificador H.264 en las bibliotecas de FFmpeg";
        return -1;
    }
    if (avformat_alloc_output_context2(&m_format, nullptr, "mp4", m_tempPath.c_str()) < 0 || m_format == nullptr) {
        *error = "no se puede preparar el fichero MP4";
        Release();
        return -1;
    }
    m_stream = avformat_new_stream(m_format, nullptr);
    m_codec = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_stream == nullptr || m_codec == nullptr || m_frame == nullptr || m_packet == nullptr) {
        *error = "no hay memoria para el vídeo";
        Release();
        return -1;
    }
    m_codec->width = width;
    m_codec->height = height;
    m_codec->time_base = AVRational{1, fps};
    m_codec->framerate = AVRational{fps, 1};
    m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
    m_codec->gop_size = 2 * fps;
    if ((m_format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    av_opt_set(m_codec->priv_data, "preset", kPreset, 0);
    av_opt_set(m_codec->priv_data, "crf", kQuality, 0);
    if (avcodec_open2(m_codec, codec, nullptr) < 0 ||
        avcodec_parameters_from_context(m_stream->codecpar, m_codec) < 0) {
        *error = "no se puede abrir el codificador H.264";
        Release();
        return -1;
    }
    m_stream->time_base = m_codec->time_base;

    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = width;
    m_frame->height = height;
    m_scale = sws_getContext(width, height, AV_PIX_FMT_RGB32, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                             nullptr, nullptr, nullptr);
    if (av_frame_get_buffer(m_frame, 0) < 0 || m_scale == nullptr) {
        *error = "no hay memoria para el vídeo";
        Release();
        return -1;
    }
    if (avio_open(&m_format->pb, m_tempPath.c_str(), AVIO_FLAG_WRITE) < 0) {
        *error = "no se puede escribir " + path;
        Release();
        return -1;
    }
    m_tempWritten = true;
    if (avformat_write_header(m_format, nullptr) < 0) {
        *error = "no se puede escribir " + path;
        Abort();
        return -1;
    }
    return 0;
}

int CVideoEncoder::Drain()
{
    for (;;) {
        const int received = avcodec_receive_packet(m_codec, m_packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return 0;
        }
        if (received < 0) {
            return -1;
        }
        // Every frame lasts one tick of the codec's time base (1/fps); said
        // here so that the file's duration counts the last frame too.
        if (m_packet->duration == 0) {
            m_packet->duration = 1;
        }
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        // The muxer takes the packet's data and leaves it blank.
        if (av_interleaved_write_frame(m_format, m_packet) < 0) {
            return -1;
        }
    }
}

int CVideoEncoder::Write(const std::uint32_t* pixels, std::string* error)
{
    if (m_codec == nullptr || m_format == nullptr) {
        *error = "el vídeo no está abierto";
        return -1;
    }
    if (av_frame_make_writable(m_frame) < 0) {
        *error = "no hay memoria para el vídeo";
        Abort();
        return -1;
    }
    const std::uint8_t* source[1] = {reinterpret_cast<const std::uint8_t*>(pixels)};
    const int stride[1] = {4 * m_width};
    sws_scale(m_scale, source, stride, 0, m_height, m_frame->data, m_frame->linesize);
    m_frame->pts = m_frames;
    if (avcodec_send_frame(m_codec, m_frame) < 0 || Drain() != 0) {
        *error = "no se puede escribir " + m_path;
        Abort();
        return -1;
    }
    ++m_frames;
    return 0;
}

int CVideoEncoder::Finish(std::string* error)
{
    if (m_codec == nullptr || m_format == nullptr) {
        *error = "el vídeo no está abierto";
        return -1;
    }
    const bool flushed = avcodec_send_frame(m_codec, nullptr) >= 0 && Drain() == 0;
    const bool ended = flushed && av_write_trailer(m_format) >= 0;
    const bool closed = avio_closep(&m_format->pb) >= 0;
    if (!ended || !closed || std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        *error = "no se puede escribir " + m_path;
        Abort();
        return -1;
    }
    m_tempWritten = false;
    Release();
    return 0;
}

void CVideoEncoder::Abort()
{
    // Release closes the file first; the temporary name goes whether or not
    // it is still open (a failed Finish has closed it already).
    Release();
    if (m_tempWritten) {
        std::remove(m_tempPath.c_str());
        m_tempWritten = false;
    }
}

void CVideoEncoder::Release()
{
    if (m_format != nullptr && m_format->pb != nullptr) {
        avio_closep(&m_format->pb);
    }
    sws_freeContext(m_scale);
    m_scale = nullptr;
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_codec);
    avformat_free_context(m_format);
    m_format = nullptr;
    m_stream = nullptr;
}
