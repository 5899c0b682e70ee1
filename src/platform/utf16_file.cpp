#include "platform/utf16_file.h"

namespace velorin::platform {

Utf16File::Utf16File(const std::string& path)
    : stream_(path, std::ios::out | std::ios::trunc | std::ios::binary) {
  if (stream_.is_open()) Write(u"\uFEFF");
}

void Utf16File::Write(const std::u16string& units) {
  // wchar_t is 4 bytes here: the bytes are laid out by hand, never copied.
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace velorin::platform
