#include "tools/CPngSequence.h"

#include <QImage>
#include <QString>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

CPngSequence::~CPngSequence() { Abort(); }

std::string CPngSequence::FrameName(int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", index);
    return name;
}

std::string CPngSequence::TemporaryPath(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    return trimmed + ".part";
}

int CPngSequence::Open(const std::string& path, int width, int height, std::string* error)
{
    Abort();
    std::error_code code;
    const fs::path final(path);
    if (fs::exists(final, code) && !(fs::is_directory(final, code) && fs::is_empty(final, code))) {
        *error = "ya existe " + path + " y no es una carpeta vacía";
        return -1;
    }
    m_path = path;
    m_tempPath = TemporaryPath(path);
    fs::remove_all(m_tempPath, code);
    if (!fs::create_directory(m_tempPath, code)) {
        *error = "no se puede escribir " + path;
        return -1;
    }
    m_open = true;
    m_width = width;
    m_height = height;
    m_frames = 0;
    return 0;
}

int CPngSequence::Write(const std::uint32_t* pixels, std::string* error)
{
    if (!m_open) {
        *error = "la carpeta de fotogramas no está abierta";
        return -1;
    }
    const QImage image(reinterpret_cast<const uchar*>(pixels), m_width, m_height, m_width * 4,
                       QImage::Format_RGB32);
    const std::string file = (fs::path(m_tempPath) / FrameName(m_frames)).string();
    if (!image.save(QString::fromLocal8Bit(file.c_str()), "PNG")) {
        *error = "no se puede escribir " + m_path;
        Abort();
        return -1;
    }
    ++m_frames;
    return 0;
}

int CPngSequence::Finish(std::string* error)
{
    if (!m_open) {
        *error = "la carpeta de fotogramas no está abierta";
        return -1;
    }
    std::error_code code;
    // An empty folder of that name, there since Open, gives way.
    if (fs::is_directory(m_path, code) && fs::is_empty(m_path, code)) {
        fs::remove(m_path, code);
    }
    fs::rename(m_tempPath, m_path, code);
    if (code) {
        *error = "no se puede escribir " + m_path;
        Abort();
        return -1;
    }
    m_open = false;
    return 0;
}

void CPngSequence::Abort()
{
    if (m_open) {
        std::error_code code;
        fs::remove_all(m_tempPath, code);
        m_open = false;
    }
}
