#pragma once
// Creation and release of the process-wide device.
#include "render/IDevice.h"

class IContextProvider;

// The process-wide device, a second copy of the pointer InitDirect3D hands
// out; ReleaseDirect3D deletes it. Null while no device exists.
extern IDevice* g_device;

// Builds the device on `provider` with a back buffer of width x height. On
// success *device and g_device receive it; when no context can be made (no
// display, no driver) or the size is not positive, *device stays null and
// nothing else changes, and standard error says which step failed (the
// provider's Failure() for the context). Returns 0 in every case: callers
// test the pointer and tell the user in their own words.
// The provider must outlive the device.
int InitDirect3D(IContextProvider* provider, int width, int height, IDevice** device);

// Releases the process-wide objects in their order: the overlay font, then
// the device (g_device, nulled). The caller's own copies of the device
// pointer must not be used afterwards. Call after every landscape (its
// buffer and texture) is gone and after the render thread has ended.
void ReleaseDirect3D();
