#include "platform/settings_path.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/host.h"

namespace velorin::platform {

namespace {

// Closes its descriptor when it goes.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports whether the close succeeded (it can report a
  // delayed write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    home = found->pw_dir;
  }
  return home;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ReadAll(int fd, std::string& contents) {
  contents.clear();
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& contents) {
  size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string SettingsFolder() {
  std::string base = Environment("APPDATA");
  if (base.empty()) base = Environment("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = HomeFolder();
    if (home.empty()) return std::string();
    base = home + "/.config";
  }
  return base + "/velorin";
}

bool CreatePrivateFolder(const std::string& path) {
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  // Parents first, each created only when missing.
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string parent = path.substr(0, slash);
    if (!parent.empty() && parent.back() != '/' && !IsFolder(parent)) {
      ::mkdir(parent.c_str(), 0700);
    }
  }
  ::mkdir(path.c_str(), 0700);
  return IsFolder(path);
}

ReadStatus ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    return errno == ENOENT || errno == ENOTDIR ? ReadStatus::kMissing : ReadStatus::kFailed;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadStatus::kFailed;
  return ReadAll(fd.get(), contents) ? ReadStatus::kRead : ReadStatus::kFailed;
}

bool ReplaceFile(const std::string& target, const std::string& temp, const std::string& contents) {
  // A stale temporary file from an interrupted rewrite goes first; whatever
  // else stands there (a folder, say) makes the exclusive create fail.
  ::unlink(temp.c_str());
  FileDescriptor fd(
      ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return false;
  bool ok = ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), contents) && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  if (ok) {
    std::string written;
    ok = ReadWholeFile(temp, written) == ReadStatus::kRead && written == contents;
  }
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder's entry.
  const size_t slash = target.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
  return true;
}

std::string FollowLinks(const std::string& path) {
  // The kernel's own bound on links followed in one lookup.
  constexpr int kMaxLinks = 40;
  std::string current = path;
  for (int followed = 0; followed <= kMaxLinks; ++followed) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> buffer(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t length = ::readlink(current.c_str(), buffer.data(), buffer.size());
    // A link changed meanwhile into a longer one: read it again.
    if (length >= 0 && static_cast<size_t>(length) == buffer.size()) continue;
    if (length <= 0) return std::string();
    std::string destination(buffer.data(), static_cast<size_t>(length));
    if (destination.front() != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) destination = current.substr(0, slash + 1) + destination;
    }
    current = std::move(destination);
  }
  return std::string();
}

FileLock::FileLock(const std::string& path) {
  // Non-blocking open: a FIFO put in the file's place must not stall us.
  FileDescriptor fd(
      ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return;
    // Held elsewhere, for one rewrite as a rule: wait in the kernel's queue
    // rather than polling, so that a busy writer cannot starve us. A signal
    // ends the kernel's wait; Ctrl-C then ends ours.
    for (;;) {
      CheckInterrupts();
      int error = 0;
      Blocking([&] { error = ::flock(fd.get(), LOCK_EX) == 0 ? 0 : errno; });
      if (error == 0) break;
      if (error != EINTR) return;
    }
  }
  fd_ = fd.Release();
}

FileLock::~FileLock() {
  // Closing the last descriptor of the open file releases the lock.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace velorin::platform
