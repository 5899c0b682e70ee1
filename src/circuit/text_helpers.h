// Small text helpers shared by the engine, runtime, composites, reader,
// writer and drawing.
#pragma once

#include <cstdint>
#include <string>

namespace velorin {

// The `width` low bits of `value`, most significant first; width must be 0..32.
std::string ToBinaryString(int32_t value, int32_t width);

// "0", "pi", "-pi", "pi/N", "-pi/N", or the angle as "%f".
std::string FormatAngle(double angle);

// Local time as "%F %H:%M:%S:mmm".
std::string CurrentTimestamp();

bool IsAllDigits(const std::string& text);

// Well-formed UTF-8: no stray continuation bytes, overlong forms or surrogates.
bool IsValidUtf8(const std::string& text);

}  // namespace velorin
