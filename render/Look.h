#pragma once
// How the flight is drawn. Classic is the original picture: black sky,
// point-sampled page texture, fixed ambient, vertices moved at once by every
// split and merge. Enhanced adds a filtered page texture (mip chain,
// trilinear and anisotropic), a sky gradient with distance fog, a
// hemisphere ambient term and geomorphing. Chosen once, before the first
// landscape is built (`--look classic|enhanced`).
#include <cstring>

enum class Look { Classic, Enhanced };

// "classic" or "enhanced"; false (and *look untouched) for anything else.
inline bool ParseLook(const char* text, Look* look)
{
    if (text == nullptr)
        return false;
    if (std::strcmp(text, "classic") == 0) {
        *look = Look::Classic;
        return true;
    }
    if (std::strcmp(text, "enhanced") == 0) {
        *look = Look::Enhanced;
        return true;
    }
    return false;
}
