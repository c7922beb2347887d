// The renderer's shader building: a program that builds is usable; a shader
// that does not compile, or a program that does not link, leaves 0 and puts
// the program's name, the stage and the driver's log on standard error.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "render/gl/CEglContext.h"
#include "render/gl/GLShader.h"

namespace {

const char* const kVertex = "layout(location = 0) in vec3 aPosition;\nout vec3 vColour;\n"
                            "void main() { vColour = aPosition; gl_Position = vec4(aPosition, 1.0); }\n";
const char* const kFragment = "in vec3 vColour;\nout vec4 colour;\nvoid main() { colour = vec4(vColour, 1.0); }\n";
// Calls a function no GLSL version has.
const char* const kBroken = "in vec3 vColour;\nout vec4 colour;\nvoid main() { colour = noSuch(vColour); }\n";
// No main(): compiles, does not link.
const char* const kMainless = "in vec3 vColour;\nout vec4 colour;\nvoid Shade() { colour = vec4(vColour, 1.0); }\n";

TEST(GLShaderTest, FailuresLeaveZeroAndSayWhichProgramAndWhy)
{
    CEglContext context;
    if (context.Create() != 0 || context.MakeCurrent() != 0)
        GTEST_SKIP() << "no headless OpenGL 3.3 context: " << context.Failure();
    // name, fragment stage, heading on standard error (empty: it builds)
    const char* const cases[][3] = {
        {"good", kFragment, ""},
        {"broken", kBroken, "no se compila el sombreador de fragmentos \"broken\":\n"},
        {"mainless", kMainless, "no se enlaza el programa de sombreado \"mainless\":\n"},
    };
    for (const auto& [name, fragment, heading] : cases) {
        testing::internal::CaptureStderr();
        const GLuint program = LinkProgram(name, kVertex, fragment, "#version 330 core\n");
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(program == 0, *heading != '\0') << name;
        glDeleteProgram(program);
        const std::size_t at = said.find(heading);
        ASSERT_NE(at, std::string::npos) << said;
        // The driver's log follows the heading; a program that builds says nothing.
        EXPECT_EQ(said.size() > at + std::strlen(heading) + 8, *heading != '\0') << said;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    context.DoneCurrent();
}

} // namespace
