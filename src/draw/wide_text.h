// The drawing holds its text as UTF-16 units; names and labels arrive as
// UTF-8 and rows leave for the console as UTF-8.
#pragma once

#include <string>

namespace velorin::draw {

// The cell after a character that a terminal shows two columns wide; it
// prints as nothing, so rows keep their alignment.
constexpr char16_t kWideFiller = 0xFFFF;

// Each byte that does not belong to a well-formed UTF-8 sequence becomes U+FFFD.
std::u16string Widen(const std::string& utf8);

// A surrogate without its partner (a fold can cut a pair) becomes U+FFFD.
std::string Narrow(const std::u16string& units);

}  // namespace velorin::draw
