// The per-user settings folder, safe whole-file replacement in it, and the
// lock that keeps rewrites of one file from overlapping.
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

// The file that `path` names once every symbolic link on the way to it is
// followed: `path` itself when it is no link (or does not exist), the last
// link's destination (which need not exist yet) otherwise; empty when the
// links run in a loop or cannot be read.
std::string FollowLinks(const std::string& path);

// An exclusive advisory lock on `path` (created empty, mode 0600, when
// missing), held until the object goes; it binds every process that takes
// it, this one included. The lock lives on a file of its own because
// ReplaceFile puts a new file in the target's place. A wait for another
// holder lets other interpreter threads run, and Ctrl-C ends it (the
// interrupt is thrown). held() is false when the file cannot be opened or
// locked.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace velorin::platform
