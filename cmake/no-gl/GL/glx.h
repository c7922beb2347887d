// Found first by the libraries that never draw (terrain, landscape, flight
// and the device interface of render): they reach the graphics card only
// through IDevice, and OpenGL and EGL belong to render/gl alone.
#error "OpenGL/EGL header <GL/glx.h> included outside render/gl: only render/gl may use OpenGL or EGL"
