#pragma once
#include "render/IFont.h"

class CRecordingDevice;

// Font of CRecordingDevice: DrawTextA records the text and draws nothing.
class CRecordingFont final : public IFont {
public:
    CRecordingFont(CRecordingDevice* device, int height);
    int DrawTextA(const char* text, int count, const RECT* rect, std::uint32_t format,
                  D3DCOLOR color) override;
    void Release() override;

private:
    ~CRecordingFont() override = default;
    CRecordingDevice* m_device;
    int m_height;
};
