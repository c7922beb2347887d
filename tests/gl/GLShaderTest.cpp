// The renderer's shader building: a program that builds is usable, and a
// shader that does not compile or a program that does not link leaves 0 and
// the program's name with the driver's log on standard error.
#include <string>

#include <gtest/gtest.h>

#include "render/gl/CEglContext.h"
#include "render/gl/GLShader.h"

namespace {

const char* const kVertex = R"(
layout(location = 0) in vec3 aPosition;
out vec3 vColour;
void main() { vColour = aPosition; gl_Position = vec4(aPosition, 1.0); }
)";
const char* const kFragment = R"(
in vec3 vColour;
out vec4 fragColour;
void main() { fragColour = vec4(vColour, 1.0); }
)";
// Calls a function no GLSL version has.
const char* const kBrokenFragment = R"(
in vec3 vColour;
out vec4 fragColour;
void main() { fragColour = noSuchFunction(vColour); }
)";
// No main(): compiles, does not link.
const char* const kMainlessFragment = R"(
in vec3 vColour;
out vec4 fragColour;
void Shade() { fragColour = vec4(vColour, 1.0); }
)";
const char* const kVersion = "#version 330 core\n";

class GLShaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (m_context.Create() != 0 || m_context.MakeCurrent() != 0)
            GTEST_SKIP() << "no headless OpenGL 3.3 context: " << m_context.Failure();
    }
    void TearDown() override { m_context.DoneCurrent(); }

    CEglContext m_context;
};

TEST_F(GLShaderTest, FailuresLeaveZeroAndSayWhichProgramAndWhy)
{
    struct Case {
        const char* name;
        const char* fragment;
        bool builds;
        const char* said; // on standard error, after the name
    };
    const Case cases[] = {
        {"good", kFragment, true, ""},
        {"broken", kBrokenFragment, false, "no se compila el sombreador de fragmentos \"broken\":\n"},
        {"mainless", kMainlessFragment, false, "no se enlaza el programa de sombreado \"mainless\":\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        const GLuint program = LinkProgram(c.name, kVertex, c.fragment, kVersion);
        const std::string said = testing::internal::GetCapturedStderr();
        if (c.builds) {
            EXPECT_NE(program, 0u);
            EXPECT_TRUE(said.empty()) << said;
            glDeleteProgram(program);
            continue;
        }
        EXPECT_EQ(program, 0u);
        const std::size_t at = said.find(c.said);
        ASSERT_NE(at, std::string::npos) << said;
        // The driver's log follows, not just the heading.
        const std::string log = said.substr(at + std::string(c.said).size());
        EXPECT_GT(log.size(), 8u) << said;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLShaderTest, AVersionlessShaderIsNamedWithItsStage)
{
    testing::internal::CaptureStderr();
    const GLuint shader = CompileShader(GL_VERTEX_SHADER, "sky", "", "void main() { gl_Position = vec4(1); }\nbad");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(shader, 0u);
    EXPECT_NE(said.find("no se compila el sombreador de vértices \"sky\""), std::string::npos) << said;
}

} // namespace
