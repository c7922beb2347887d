#pragma once
// Compiling and linking the renderer's GLSL programs. A shader that does not
// compile, or a program that does not link, is reported on standard error
// with its name and the driver's log, so that a device that draws nothing
// says why. Render thread only, with a context current.
#include <string>

#include "render/gl/GLApi.h"

// Compiles `source` (`prefix` goes first: the version line and defines) as a
// shader of `type`. Returns the shader, or 0 after printing
// "vantaPeak: no se compila el sombreador de <kind> \"name\":" and the log.
GLuint CompileShader(GLenum type, const char* name, const std::string& prefix, const char* source);

// Compiles both stages and links them into the program `name`. Returns the
// program, or 0 after printing what failed and the driver's log. The shaders
// are deleted either way.
GLuint LinkProgram(const char* name, const char* vertexSource, const char* fragmentSource,
                   const char* prefix = "");
