#pragma once
#include <cstdarg>
#include <cstdio>
#include <string>

// printf into a std::string, for the messages that name files and values.
// Longer results are cut at 1023 characters.
inline std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Printf(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}
