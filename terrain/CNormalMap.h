#pragma once
// Unit surface normals of a height window, one per sample, for lighting
// every pixel of the ground rather than the vertices of its mesh: they come
// from the full-resolution heights, so they do not change as the mesh
// refines.
//
// The window is width x height samples, row-major, row 0 at z = 0, sample
// spacing one world unit, heights in sample values times heightScale world
// units. Any thread; the window is only read.
#include <cstdint>
#include <vector>

class CNormalMap {
public:
    // The normal at each sample from central differences (one-sided on the
    // window's border), y up: (-dh/dx, 1, -dh/dz) normalised. Its x and z
    // components go into *encoded as two bytes per sample (x then z), each
    // component c as round((c + 1) x 127.5); y is the positive root
    // (Decode). 0, or -1 (nothing written) for a null window or a side
    // below 2.
    static int Compute(const std::int32_t* window, std::int32_t width, std::int32_t height, float heightScale,
                       std::vector<std::uint8_t>* encoded);
    // The same for row z alone (0 <= z < height), into out[0 .. 2 x width):
    // for callers that need the normals a row at a time and not the whole
    // map in memory. The window must be valid (non-null, sides of 2 or more).
    static void ComputeRow(const std::int32_t* window, std::int32_t width, std::int32_t height, float heightScale,
                           std::int32_t z, std::uint8_t* out);

    // The unit normal of an encoded x, z pair.
    static void Decode(std::uint8_t x, std::uint8_t z, float normal[3]);
};
