#pragma once

// Tenancy for every front end: an account number to the Account path the
// library is called with, on whichever backend holds the firm. One rule for
// the program, the service and the Python module.

#include <optional>
#include <string>
#include <string_view>

#include "brivos/brivos.hpp"

namespace brivos::app {

// An account number a front end accepts from its users: 1 to 64 letters,
// digits, '-' and '_'. Nothing is looked up for any other text, so it can
// name no file or schema elsewhere.
inline constexpr std::size_t kMaxAccountNumber = 64;
// The same rule as a regular expression (the OpenAPI document's pattern).
inline constexpr const char* kAccountNumberPattern = "^[A-Za-z0-9_-]{1,64}$";
bool PlainAccountNumber(std::string_view text);

// The Account path of account `number` in data directory `dir`: DIR\NUMBER,
// trailing separators of DIR dropped; NUMBER itself when `dir` is empty.
std::string AccountIn(std::string_view dir, std::string_view number);

// A firm a front end serves.
struct Tenant {
  std::string account_no;  // "A100"
  Variant account;         // the Account path, "/srv/brivos\\A100"
};

// The firms of one data directory. On files, account A100 is DIR/A100.mdb,
// a plain file (not a link, so it cannot lead to another account's file or
// out of the directory), DIR resolved once. On PostgreSQL, it is the
// subscriber whose schema the Account DIR\A100 names, DIR as spelled (as
// `brivos init --db-dir DIR` spelled it).
class Tenants {
 public:
  explicit Tenants(std::string data_dir);

  // The firm of `account_no`, or nothing when there is none or the text is
  // no plain account number. Raises what the backend raises when it cannot
  // tell (a database server that went away).
  std::optional<Tenant> Find(std::string_view account_no) const;

  bool OnFiles() const { return files_; }

 private:
  std::string data_dir_;  // as given
  std::string real_dir_;  // resolved, for files
  bool files_;
};

}  // namespace brivos::app
