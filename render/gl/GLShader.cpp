#include "render/gl/GLShader.h"

#include <cstdio>
#include <vector>

namespace {

// The info log of a shader or program, without its trailing blanks.
template <typename GetIv, typename GetLog>
std::string InfoLog(GLuint object, GetIv getIv, GetLog getLog)
{
    GLint length = 0;
    getIv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return "(el controlador no da registro)";
    std::vector<char> text(static_cast<std::size_t>(length));
    GLsizei written = 0;
    getLog(object, length, &written, text.data());
    std::string log(text.data(), static_cast<std::size_t>(written > 0 ? written : 0));
    while (!log.empty() && (log.back() == '\n' || log.back() == ' ' || log.back() == '\0'))
        log.pop_back();
    return log;
}

const char* StageName(GLenum type)
{
    return type == GL_VERTEX_SHADER ? "vértices" : (type == GL_FRAGMENT_SHADER ? "fragmentos" : "otro tipo");
}

} // namespace

GLuint CompileShader(GLenum type, const char* name, const std::string& prefix, const char* source)
{
    const std::string text = prefix + source;
    const char* pointer = text.c_str();
    GLuint shader = glCreateShader(type);
    if (shader == 0) {
        std::fprintf(stderr, "vantaPeak: glCreateShader no da un sombreador de %s para \"%s\" (error GL 0x%04X)\n",
                     StageName(type), name, glGetError());
        return 0;
    }
    glShaderSource(shader, 1, &pointer, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        const std::string log = InfoLog(shader, glGetShaderiv, glGetShaderInfoLog);
        std::fprintf(stderr, "vantaPeak: no se compila el sombreador de %s \"%s\":\n%s\n", StageName(type), name,
                     log.c_str());
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint LinkProgram(const char* name, const char* vertexSource, const char* fragmentSource, const char* prefix)
{
    GLuint vertex = CompileShader(GL_VERTEX_SHADER, name, prefix, vertexSource);
    GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, name, prefix, fragmentSource);
    GLuint program = 0;
    if (vertex != 0 && fragment != 0) {
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            const std::string log = InfoLog(program, glGetProgramiv, glGetProgramInfoLog);
            std::fprintf(stderr, "vantaPeak: no se enlaza el programa de sombreado \"%s\":\n%s\n", name, log.c_str());
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vertex != 0)
        glDeleteShader(vertex);
    if (fragment != 0)
        glDeleteShader(fragment);
    return program;
}
