#include "render/gl/Direct3D.h"

#include "render/Overlay.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/IContextProvider.h"

IDevice* g_device = nullptr;

int InitDirect3D(IContextProvider* provider, int width, int height, IDevice** device)
{
    if (device == nullptr)
        return 0;
    if (provider == nullptr || width <= 0 || height <= 0 || provider->Create() != 0)
        return 0;
    *device = new CGLDevice(provider, static_cast<unsigned>(width), static_cast<unsigned>(height));
    g_device = *device;
    return 0;
}

void ReleaseDirect3D()
{
    ReleaseOverlayFont();
    delete g_device;
    g_device = nullptr;
}
