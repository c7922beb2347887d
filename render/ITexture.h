#pragma once
#include "render/D3DTypes.h"

// A 2D texture created by an IDevice, texels 0xAARRGGBB in rows of Pitch
// bytes. Any thread may lock and fill it; the device makes the new contents
// visible to the render thread's draws after UnlockRect without stalling frames.
class ITexture {
public:
    // Level 0 and, where LevelCount() is above 1, the mip levels: level k
    // is max(1, Width() >> k) x max(1, Height() >> k) texels; the filler
    // writes every level. With LevelCount() 1 only level 0 exists.
    virtual int LockRect(unsigned level, D3DLOCKED_RECT* locked, std::uint32_t flags) = 0;
    virtual int UnlockRect(unsigned level) = 0;
    virtual void Release() = 0;
    virtual unsigned Width() const = 0;
    virtual unsigned Height() const = 0;
    virtual unsigned LevelCount() const { return 1; }
    // True while the device is copying unlocked contents to the graphics
    // driver from a system-memory copy that it lets go once done (the copy
    // under way: started by a frame and not finished); false for a device
    // that keeps no such copy. Any thread.
    virtual bool Arriving() const { return false; }

protected:
    virtual ~ITexture() = default;
};
