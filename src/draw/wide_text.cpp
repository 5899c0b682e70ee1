#include "draw/wide_text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace velorin::draw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point starting at `i`, advancing `i` past it; one byte on error.
char32_t DecodeOne(const std::string& text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + length > text.size()) {
    ++i;
    return kReplacement;
  }
  for (size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[i + k]);
    if (!IsContinuation(byte)) {
      ++i;
      return kReplacement;
    }
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += length;
  return value;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

struct WidthRange {
  char32_t first, last;
  int columns;
};
constexpr WidthRange kWidthRanges[] = {
#include "draw/char_widths.inc"
};

constexpr char32_t kZeroWidthJoiner = 0x200D;

}  // namespace

int CodePointWidth(char32_t c) {
  const WidthRange* end = std::end(kWidthRanges);
  const WidthRange* it = std::lower_bound(std::begin(kWidthRanges), end, c,
                                          [](const WidthRange& r, char32_t v) { return r.last < v; });
  return it != end && it->first <= c ? it->columns : 1;
}

char32_t CellText::Intern(const std::u32string& cluster) {
  const auto next = kFirstCluster + static_cast<char32_t>(clusters_.size());
  auto [it, added] = index_.try_emplace(cluster, next);
  if (added) clusters_.push_back(cluster);
  return it->second;
}

Cells CellText::Widen(const std::string& utf8) {
  std::u32string points;
  points.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) points.push_back(DecodeOne(utf8, i));

  Cells out;
  out.reserve(points.size());
  std::u32string leading;  // zero-width characters before any base: they join the next one
  for (size_t i = 0; i < points.size();) {
    const char32_t base = points[i++];
    const int columns = CodePointWidth(base);
    if (columns == 0) {
      leading.push_back(base);
      continue;
    }
    std::u32string cluster = leading + base;
    leading.clear();
    while (i < points.size() && CodePointWidth(points[i]) == 0) {
      const char32_t follower = points[i++];
      cluster.push_back(follower);
      // What a joiner joins takes no column of its own.
      if (follower == kZeroWidthJoiner && i < points.size()) cluster.push_back(points[i++]);
    }
    out.push_back(cluster.size() == 1 ? cluster.front() : Intern(cluster));
    // The second column of a wide character: a cell that shows nothing.
    if (columns == 2) out.push_back(kWideFiller);
  }
  // Nothing to lean on: they keep a cell of their own rather than vanish.
  if (!leading.empty()) out.push_back(leading.size() == 1 ? leading.front() : Intern(leading));
  return out;
}

std::u32string CellText::CodePoints(const Cells& cells) const {
  std::u32string out;
  out.reserve(cells.size());
  for (char32_t cell : cells) {
    if (cell == kWideFiller) continue;
    if (cell >= kFirstCluster) {
      const size_t k = cell - kFirstCluster;
      if (k < clusters_.size()) out += clusters_[k];
    } else {
      out.push_back(cell);
    }
  }
  return out;
}

std::string Utf8(const std::u32string& code_points) {
  std::string out;
  out.reserve(code_points.size() * 3);
  for (char32_t c : code_points) AppendUtf8(out, c);
  return out;
}

std::u16string Utf16(const std::u32string& code_points) {
  std::u16string out;
  out.reserve(code_points.size());
  for (char32_t c : code_points) {
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

}  // namespace velorin::draw
