// The host program's entry to the backends and to the saved accounts of the
// settings file: one account per line, "name,token,url,instance".
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velorin {

class BackendV2;

// One line of the settings file, split at its first three commas. A line
// without a comma is all name.
struct AccountLine {
  std::string name;
  std::string token;
  std::string url;
  std::string instance;
};
AccountLine ParseAccountLine(const std::string& line);

// The lines of a settings file: "\n" or "\r\n" ends a line.
std::vector<std::string> SplitSettingsLines(const std::string& contents);

// The url check, in linear time: true for exactly the texts that the pattern
// ^(https?:\/\/)?([\da-z\.-]+)\.([a-z\.]{2,6})([/\w \.-]*)*\/?$ matches as a
// whole, up to kMaxUrlLength characters; longer texts are refused.
inline constexpr size_t kMaxUrlLength = 2048;
bool IsValidUrl(const std::string& url);

class VelorinProvider {
 public:
  using Accounts = std::vector<std::pair<std::string, std::string>>;

  // Each of token, url and name comes from its argument when that is not
  // empty, else from the first account line of the settings file, else from
  // the defaults. A url argument must pass IsValidUrl ("The url provided is
  // invalid"). `instance` is not used.
  VelorinProvider(const std::string& token, const std::string& url, const std::string& name,
                  const std::string& instance);

  std::vector<std::string> backends() const;
  // A new backend for "tamrel_velorin"; RunTimeError `not_found` otherwise.
  std::shared_ptr<BackendV2> get_backend(const std::string& name,
                                         const char* not_found = "Backend not found") const;
  // (name, token) of every account line, in file order; a later line of the
  // same name replaces the token of an earlier one in its place.
  Accounts saved_accounts() const;
  // Removes the lines whose name field equals `name`. A failed rewrite
  // leaves the file as it was and raises RunTimeError. Always true otherwise.
  bool delete_account(const std::string& name);
  // Appends the account, after removing the lines of that name when
  // `overwrite`, in one rewrite. Fields holding a comma, a line break or a
  // NUL character are refused (std::invalid_argument) before anything changes.
  void save_account(const std::string& token, const std::string& url,
                    const std::string& instance, const std::string& name, bool overwrite);
  // (name, token) of this provider's account.
  std::pair<std::string, std::string> active_account() const { return {name_, token_}; }

  const std::string& name() const { return name_; }
  const std::string& token() const { return token_; }
  const std::string& url() const { return url_; }

 private:
  std::string name_ = "VelorinDefaultUser";
  std::string token_ = "xxxx-xxxx-xxxx-xxxx";
  std::string url_;
};

}  // namespace velorin
