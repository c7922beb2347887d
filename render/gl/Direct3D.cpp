#include "render/gl/Direct3D.h"

#include <cstdio>
#include <string>

#include "render/Overlay.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/IContextProvider.h"

IDevice* g_device = nullptr;

int InitDirect3D(IContextProvider* provider, int width, int height, IDevice** device)
{
    if (device == nullptr)
        return 0;
    if (provider == nullptr) {
        std::fprintf(stderr, "vantaPeak: no se crea el dispositivo gráfico: no hay proveedor de contexto\n");
        return 0;
    }
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "vantaPeak: no se crea el dispositivo gráfico: el búfer trasero de %dx%d no tiene área\n",
                     width, height);
        return 0;
    }
    if (provider->Create() != 0) {
        const std::string& failure = provider->Failure();
        std::fprintf(stderr, "vantaPeak: no se crea el dispositivo gráfico: falla el contexto OpenGL 3.3: %s\n",
                     failure.empty() ? "sin más detalle" : failure.c_str());
        return 0;
    }
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
