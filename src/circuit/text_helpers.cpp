#include "circuit/text_helpers.h"

#include <cmath>
#include <cstdio>

#include "circuit/errors.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace velorin {

std::string ToBinaryString(int32_t value, int32_t width) {
  if (width < 0 || width > 32) throw InvalidStringPosition();
  const uint32_t bits = static_cast<uint32_t>(value);
  std::string text(static_cast<size_t>(width), '0');
  for (int32_t i = 0; i < width; ++i) {
    if ((bits >> (width - 1 - i)) & 1u) text[static_cast<size_t>(i)] = '1';
  }
  return text;
}

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kEpsilon = 2.220446049250313e-16;

bool NearlyEqual(double a, double b) {
  const double diff = std::fabs(a - b);
  return diff <= 1e-50 || diff <= kEpsilon * std::fmax(std::fabs(a), std::fabs(b));
}

}  // namespace

std::string FormatAngle(double x) {
  // Non-finite angles are named rather than hidden as "0".
  if (std::isnan(x) || std::isinf(x)) return platform::FormatFixed6(x);
  if (!(std::fabs(x) > 1e-50 && kEpsilon * std::fabs(x) < std::fabs(x))) return "0";
  if (x > kPi || x < -kPi) return platform::FormatFixed6(x);
  const double ratio = kPi / x;
  if (std::fabs(ratio) >= 2147483648.0) return platform::FormatFixed6(x);
  const int32_t n = static_cast<int32_t>(ratio);
  if (n == 0 || !NearlyEqual(x, kPi / n)) return platform::FormatFixed6(x);
  if (n == 1) return "pi";
  if (n == -1) return "-pi";
  if (n > 1) return "pi/" + std::to_string(n);
  return "-pi/" + std::to_string(-static_cast<int64_t>(n));
}

std::string CurrentTimestamp() {
  const int64_t ticks = platform::WallClockTicks();
  char millis[8];
  std::snprintf(millis, sizeof millis, ":%03d", static_cast<int>((ticks / 10000) % 1000));
  return platform::FormatLocalTime(ticks / 10000000) + millis;
}

bool IsAllDigits(const std::string& text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
        (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace velorin
