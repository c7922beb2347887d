#pragma once
// Plain OpenGL 3.3 core entry points, linked from libOpenGL. Only files of
// render/gl that run on the render thread include this.
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/glcorearb.h>
