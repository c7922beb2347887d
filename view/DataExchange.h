#pragma once
// Text conversions of the form's data exchange. Locale-independent: the
// decimal separator is always '.', whatever the user's locale says.
#include <cstdint>

#include <QString>

// A float as the edit shows it: up to 6 significant digits (0.05f reads
// "0.05").
QString FormatFloatText(float value);

// Blanks and tabs around the number are allowed; the rest must be one
// decimal number (optional sign, digits, optional fraction and exponent)
// whose value is finite as a float. Returns false otherwise, leaving `value`
// unchanged.
bool ParseFloatText(const QString& text, float& value);

// Blanks and tabs around the number are allowed; the rest must be decimal
// digits with an optional '+', of a value that fits 32 bits unsigned.
// Returns false otherwise, leaving `value` unchanged.
bool ParseUnsignedText(const QString& text, std::uint32_t& value);
