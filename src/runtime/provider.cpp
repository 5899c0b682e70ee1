#include "runtime/provider.h"

#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "circuit/errors.h"
#include "platform/settings_path.h"
#include "runtime/backend.h"

namespace velorin {

namespace {

constexpr const char* kBackendName = "tamrel_velorin";
constexpr const char* kSettingsFile = "/config.file";
constexpr const char* kTemporaryFile = "/temp.file";
// Beside the destination of a settings file that is a symbolic link.
constexpr const char* kLinkedTemporarySuffix = ".temp";
// Held around every read-modify-write of the settings file, so that two
// writers, in one process or in two, never work from the same old contents.
constexpr const char* kLockFile = "/config.lock";
constexpr const char* kWriteFailed = "Unable to write the account settings file";

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// [\da-z.-]
bool IsHostChar(char c) { return IsDigit(c) || IsLower(c) || c == '.' || c == '-'; }
// [a-z.]
bool IsDomainChar(char c) { return IsLower(c) || c == '.'; }
// [/\w .-]: the path; it holds every other class of the pattern too.
bool IsPathChar(char c) {
  return IsDigit(c) || IsLower(c) || (c >= 'A' && c <= 'Z') || c == '_' || c == '/' || c == ' ' ||
         c == '.' || c == '-';
}

// An account line of the file: empty lines are left alone.
bool IsAccountLine(const std::string& line) { return !line.empty(); }

bool FitsInLine(const std::string& field) {
  return field.find_first_of(std::string_view(",\r\n\0", 4)) == std::string::npos;
}

std::string ReadSettingsForRewrite(const std::string& path) {
  std::string contents;
  if (platform::ReadWholeFile(path, contents) == platform::ReadStatus::kFailed) {
    throw RunTimeError("Unable to read the account settings file");
  }
  return contents;
}

// The account lines of the settings file; none when it cannot be read.
std::vector<std::string> ReadAccountLines() {
  const std::string folder = platform::SettingsFolder();
  if (folder.empty()) return {};
  std::string contents;
  if (platform::ReadWholeFile(folder + kSettingsFile, contents) != platform::ReadStatus::kRead) {
    return {};
  }
  std::vector<std::string> lines;
  for (std::string& line : SplitSettingsLines(contents)) {
    if (IsAccountLine(line)) lines.push_back(std::move(line));
  }
  return lines;
}

void WriteSettings(const std::string& folder, const std::vector<std::string>& lines) {
  std::string contents;
  for (const std::string& line : lines) contents += line + "\n";
  // A settings file that is a symbolic link is saved through it: the link
  // stays, its destination is replaced, by a temporary file beside it so that
  // the rename stays within one file system and atomic.
  const std::string path = folder + kSettingsFile;
  const std::string target = platform::FollowLinks(path);
  if (target.empty()) throw RunTimeError(kWriteFailed);
  const std::string temp =
      target == path ? folder + kTemporaryFile : target + kLinkedTemporarySuffix;
  if (!platform::ReplaceFile(target, temp, contents)) throw RunTimeError(kWriteFailed);
}

}  // namespace

AccountLine ParseAccountLine(const std::string& line) {
  AccountLine account;
  std::string* fields[] = {&account.name, &account.token, &account.url};
  size_t start = 0;
  for (std::string* field : fields) {
    const size_t comma = line.find(',', start);
    if (comma == std::string::npos) {
      *field = line.substr(start);
      return account;
    }
    *field = line.substr(start, comma - start);
    start = comma + 1;
  }
  account.instance = line.substr(start);
  return account;
}

std::vector<std::string> SplitSettingsLines(const std::string& contents) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    std::string line = contents.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool IsValidUrl(const std::string& url) {
  if (url.size() > kMaxUrlLength) return false;
  std::string_view text(url);
  if (text.substr(0, 8) == "https://") {
    text.remove_prefix(8);
  } else if (text.substr(0, 7) == "http://") {
    text.remove_prefix(7);
  }
  // Without the scheme the pattern reads: host characters, a dot after at
  // least one of them, two domain characters, then any path characters
  // (the longer domain and the final slash fall into the path).
  for (char c : text) {
    if (!IsPathChar(c)) return false;
  }
  size_t host = 0;
  while (host < text.size() && IsHostChar(text[host])) ++host;
  for (size_t dot = 1; dot < host && dot + 2 < text.size(); ++dot) {
    if (text[dot] == '.' && IsDomainChar(text[dot + 1]) && IsDomainChar(text[dot + 2])) return true;
  }
  return false;
}

VelorinProvider::VelorinProvider(const std::string& token, const std::string& url,
                                 const std::string& name, const std::string& /*instance*/) {
  const std::vector<std::string> lines = ReadAccountLines();
  const AccountLine first = lines.empty() ? AccountLine{} : ParseAccountLine(lines.front());
  if (!name.empty()) {
    name_ = name;
  } else if (!first.name.empty()) {
    name_ = first.name;
  }
  if (!token.empty()) {
    token_ = token;
  } else if (!first.token.empty()) {
    token_ = first.token;
  }
  if (!url.empty()) {
    if (!IsValidUrl(url)) throw RunTimeError("The url provided is invalid");
    url_ = url;
  } else {
    url_ = first.url;
  }
}

std::vector<std::string> VelorinProvider::backends() const { return {kBackendName}; }

std::shared_ptr<BackendV2> VelorinProvider::get_backend(const std::string& name,
                                                        const char* not_found) const {
  if (name != kBackendName) throw RunTimeError(not_found);
  return std::make_shared<BackendV2>();
}

VelorinProvider::Accounts VelorinProvider::saved_accounts() const {
  Accounts accounts;
  std::unordered_map<std::string, size_t> index;
  for (const std::string& line : ReadAccountLines()) {
    AccountLine account = ParseAccountLine(line);
    const auto [place, added] = index.emplace(account.name, accounts.size());
    if (added) {
      accounts.emplace_back(std::move(account.name), std::move(account.token));
    } else {
      accounts[place->second].second = std::move(account.token);
    }
  }
  return accounts;
}

bool VelorinProvider::delete_account(const std::string& name) {
  const std::string folder = platform::SettingsFolder();
  if (folder.empty()) return true;  // no folder, no file, nothing to remove
  // Without the folder the lock cannot be made, but then there is no file
  // to rewrite either.
  const platform::FileLock lock(folder + kLockFile);
  const std::string contents = ReadSettingsForRewrite(folder + kSettingsFile);
  std::vector<std::string> kept;
  bool removed = false;
  for (std::string& line : SplitSettingsLines(contents)) {
    if (IsAccountLine(line) && ParseAccountLine(line).name == name) {
      removed = true;
    } else {
      kept.push_back(std::move(line));
    }
  }
  if (removed) {
    if (!lock.held()) throw RunTimeError(kWriteFailed);
    WriteSettings(folder, kept);
  }
  return true;
}

void VelorinProvider::save_account(const std::string& token, const std::string& url,
                                   const std::string& instance, const std::string& name,
                                   bool overwrite) {
  for (const std::string* field : {&name, &token, &url, &instance}) {
    if (!FitsInLine(*field)) {
      throw std::invalid_argument(
          "Account fields cannot hold commas, line breaks or NUL characters");
    }
  }
  const std::string folder = platform::SettingsFolder();
  if (folder.empty() || !platform::CreatePrivateFolder(folder)) throw RunTimeError(kWriteFailed);
  const platform::FileLock lock(folder + kLockFile);
  if (!lock.held()) throw RunTimeError(kWriteFailed);
  const std::string contents = ReadSettingsForRewrite(folder + kSettingsFile);
  std::vector<std::string> lines;
  for (std::string& line : SplitSettingsLines(contents)) {
    if (overwrite && IsAccountLine(line) && ParseAccountLine(line).name == name) continue;
    lines.push_back(std::move(line));
  }
  lines.push_back(name + "," + token + "," + url + "," + instance);
  WriteSettings(folder, lines);
}

}  // namespace velorin
