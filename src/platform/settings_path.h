// The per-user settings folder and safe whole-file replacement in it.
#pragma once

#include <string>

namespace velorin::platform {

// "<base>/velorin", base being APPDATA when set and not empty, else
// XDG_CONFIG_HOME, else $HOME/.config (the home folder from the password
// database when HOME is unset). Read anew on every call. Empty when no base
// can be found.
std::string SettingsFolder();

// Creates `path` and any missing parent with mode 0700. True when it is a
// folder afterwards.
bool CreatePrivateFolder(const std::string& path);

enum class ReadStatus { kRead, kMissing, kFailed };

// The whole file. kMissing when it does not exist; kFailed when it exists but
// cannot be read (a folder in its place, no permission, an I/O error).
ReadStatus ReadWholeFile(const std::string& path, std::string& contents);

// Writes `contents` to `temp` (created afresh with mode 0600), flushes it to
// the disk, reads it back, and renames it over `target`. On any failure the
// temporary file is removed, `target` is left as it was, and false is
// returned.
bool ReplaceFile(const std::string& target, const std::string& temp, const std::string& contents);

}  // namespace velorin::platform
