// A text file of UTF-16LE units: what the drawing writes its rows into.
#pragma once

#include <fstream>
#include <string>

namespace velorin::platform {

// Created or truncated on opening, byte order mark FF FE first; every unit is
// written as the caller gives it, little-endian, with no line-end translation.
// Closed when the object goes away, whatever happened meanwhile.
class Utf16File {
 public:
  explicit Utf16File(const std::string& path);
  Utf16File(const Utf16File&) = delete;
  Utf16File& operator=(const Utf16File&) = delete;

  bool is_open() const { return stream_.is_open(); }
  void Write(const std::u16string& units);

 private:
  std::ofstream stream_;
};

}  // namespace velorin::platform
