#include "view/DataExchange.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace {

// The text without surrounding blanks and tabs, as Latin-1 bytes; any
// character outside Latin-1 becomes '?', which no number contains.
std::string Trimmed(const QString& text)
{
    const std::string bytes = text.toLatin1().toStdString();
    const std::size_t first = bytes.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = bytes.find_last_not_of(" \t");
    return bytes.substr(first, last - first + 1);
}

}  // namespace

QString FormatFloatText(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), static_cast<double>(value),
                                      std::chars_format::general, 6);
    return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

bool ParseFloatText(const QString& text, float& value)
{
    std::string number = Trimmed(text);
    if (!number.empty() && number.front() == '+') {
        number.erase(0, 1);
        if (!number.empty() && number.front() == '-') {
            return false;
        }
    }
    if (number.empty()) {
        return false;
    }
    // Only plain decimal notation: no "inf", "nan" or hexadecimal forms.
    for (const char c : number) {
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+';
        if (!allowed) {
            return false;
        }
    }
    double parsed = 0.0;
    const char* end = number.data() + number.size();
    const auto result = std::from_chars(number.data(), end, parsed, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end) {
        return false;
    }
    const float narrowed = static_cast<float>(parsed);
    if (!std::isfinite(parsed) || std::fabs(parsed) > std::numeric_limits<float>::max() ||
        !std::isfinite(narrowed)) {
        return false;
    }
    value = narrowed;
    return true;
}

bool ParseUnsignedText(const QString& text, std::uint32_t& value)
{
    std::string number = Trimmed(text);
    if (!number.empty() && number.front() == '+') {
        number.erase(0, 1);
    }
    if (number.empty()) {
        return false;
    }
    for (const char c : number) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    std::uint32_t parsed = 0;
    const char* end = number.data() + number.size();
    const auto result = std::from_chars(number.data(), end, parsed, 10);
    if (result.ec != std::errc() || result.ptr != end) {
        return false;
    }
    value = parsed;
    return true;
}
