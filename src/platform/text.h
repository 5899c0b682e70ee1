// Locale-independent text helpers: the process locale must never change a
// written number or the casing of a name.
#pragma once

#include <string>

namespace velorin::platform {

std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);

// printf("%f") without the locale: six digits after the point; "inf", "-inf", "nan".
std::string FormatFixed6(double value);

}  // namespace velorin::platform
