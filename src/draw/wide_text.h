// The drawing holds its text as cells, one per terminal column. Names and
// labels arrive as UTF-8; rows leave as UTF-8 for the console and as UTF-16
// for the file, the same characters for both.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace velorin::draw {

// One cell: a code point, the filler after a two-column character, or a
// reference to a cluster of a `CellText` (values from kFirstCluster up).
using Cells = std::u32string;

// Beyond Unicode, so no text can hold them.
constexpr char32_t kWideFiller = 0x110000;
constexpr char32_t kFirstCluster = 0x110001;

// Terminal columns of one code point: 0, 1 or 2.
int CodePointWidth(char32_t c);

// Widens texts into cells. Characters that share a cell (a base with the
// zero-width characters after it, or joined to it) are kept as clusters.
class CellText {
 public:
  // Each byte that does not belong to a well-formed UTF-8 sequence becomes U+FFFD.
  Cells Widen(const std::string& utf8);
  // The characters the cells show, fillers left out.
  std::u32string CodePoints(const Cells& cells) const;

 private:
  char32_t Intern(const std::u32string& cluster);

  std::vector<std::u32string> clusters_;
  std::unordered_map<std::u32string, char32_t> index_;
};

std::string Utf8(const std::u32string& code_points);
std::u16string Utf16(const std::u32string& code_points);

}  // namespace velorin::draw
