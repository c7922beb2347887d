#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "render/ITexture.h"

class CGLDevice;

// A 2D A8R8G8B8 texture whose level 0 lives in system memory; the render
// thread copies it into a GL texture in row slices across frames, so a big
// page texture arriving never stalls a frame for long. Once every row is in
// the GL texture the system-memory copy is let go (a page texture is written
// once); a later lock gets fresh, cleared levels, which an unlock uploads
// again. A texture made under
// the classic look has level 0 alone, point-sampled; one made under the
// enhanced look has the full mip chain, filled by its maker, sampled
// trilinearly (and anisotropically where the driver offers it).
//
// Threads: any thread may lock, fill, unlock and release it (the device
// serialises these); between LockRect and UnlockRect the locking thread owns
// the texels and the render thread leaves them alone.
class CGLTexture final : public ITexture {
public:
    // `levels` 1, or the full chain (CMipChain::LevelCount); the levels below
    // 0 are allocated here.
    CGLTexture(CGLDevice* device, std::unique_ptr<std::uint32_t[], void (*)(void*)> texels, unsigned width,
               unsigned height, unsigned levels = 1);

    int LockRect(unsigned level, D3DLOCKED_RECT* locked, std::uint32_t flags) override;
    int UnlockRect(unsigned level) override;
    void Release() override;
    unsigned Width() const override { return m_width; }
    unsigned Height() const override { return m_height; }
    unsigned LevelCount() const override { return m_levelCount; }
    bool Arriving() const override;

private:
    friend class CGLDevice;
    ~CGLTexture() override = default;

    // Texels of `level`, rows top first, no padding; its size.
    std::uint32_t* Texels(unsigned level) const;
    unsigned LevelWidth(unsigned level) const;
    unsigned LevelHeight(unsigned level) const;
    // Rows of every level together: the upload runs through them in order.
    unsigned TotalRows() const { return m_totalRows; }
    bool Locked() const { return m_lockedLevels != 0; }
    // The finest level whose rows are all in the GL texture (levels go up
    // coarsest first), or m_levelCount when none is.
    unsigned FinestCompleteLevel() const;
    // Lets go of the system-memory levels (every row uploaded), and makes
    // them again, cleared, for a lock: 0, or -1 without memory.
    void ReleaseTexels();
    int RestoreTexels();
    static constexpr unsigned kNoBaseLevel = ~0u;

    CGLDevice* m_device; // null once the device is gone
    std::unique_ptr<std::uint32_t[], void (*)(void*)> m_texels; // level 0; null once released
    std::vector<std::unique_ptr<std::uint32_t[]>> m_mips;        // levels 1 and up; null once released
    unsigned m_width;
    unsigned m_height;
    unsigned m_levelCount;
    unsigned m_totalRows;
    // Device-guarded state.
    std::uint32_t m_lockedLevels = 0; // bit k: level k is locked
    unsigned m_glName = 0;            // render thread's texture, 0 until its first slice
    unsigned m_uploadedRows = 0;      // rows of TotalRows() already in the GL texture
    unsigned m_baseLevel = kNoBaseLevel; // the GL texture's base level as last set
};
