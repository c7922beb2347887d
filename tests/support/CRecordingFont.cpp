#include "tests/support/CRecordingFont.h"

#include <cstring>

#include "tests/support/CRecordingDevice.h"

CRecordingFont::CRecordingFont(CRecordingDevice* device, int height)
    : m_device(device), m_height(height)
{
}

int CRecordingFont::DrawTextA(const char* text, int count, const RECT* rect, std::uint32_t format,
                              D3DCOLOR color)
{
    DeviceCall call{DeviceOp::FontDrawText};
    call.object = this;
    if (text) {
        // A negative count means a zero-terminated text.
        const std::size_t n = count < 0 ? std::strlen(text) : static_cast<std::size_t>(count);
        call.text.assign(text, n);
    }
    if (rect) {
        call.args[0] = rect->left;
        call.args[1] = rect->top;
        call.args[2] = rect->right;
        call.args[3] = rect->bottom;
    }
    (void)format;
    (void)color;
    return m_device->RecordObjectCall(call) == D3D_OK ? m_height : 0;
}

void CRecordingFont::Release()
{
    DeviceCall call{DeviceOp::FontRelease};
    call.object = this;
    m_device->RecordObjectCall(call);
    m_device->ObjectReleased(this);
    delete this;
}
