#include "app/Tenants.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "brivos/database/Backend.hpp"
#include "brivos/database/Database.hpp"

namespace brivos::app {

bool PlainAccountNumber(std::string_view text) {
  if (text.empty() || text.size() > kMaxAccountNumber) return false;
  for (const char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string AccountIn(std::string_view dir, std::string_view number) {
  if (dir.empty()) return std::string(number);
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.remove_suffix(1);
  std::string path(dir);
  path += '\\';
  path += number;
  return path;
}

Tenants::Tenants(std::string data_dir)
    : data_dir_(std::move(data_dir)), files_(ActiveBackend().NamesFiles()) {
  if (files_) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(data_dir_.c_str(), nullptr),
                                                     &std::free);
    real_dir_ = real ? real.get() : data_dir_;
  }
}

std::optional<Tenant> Tenants::Find(std::string_view account_no) const {
  if (!PlainAccountNumber(account_no)) return std::nullopt;
  if (files_) {
    // The directory is resolved and the number names no other directory, so
    // the file stays inside unless it is itself a link: only a plain file is
    // accepted.
    const std::string file = real_dir_ + "/" + std::string(account_no) + ".mdb";
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    Tenant tenant{std::string(account_no), Variant(AccountIn(real_dir_, account_no))};
    // What was just found is where the calls of the request go.
    if (DatabaseFileOf(tenant.account) == file) {
      ConnectionScope::Located(tenant.account,
                               DatabaseId{file, static_cast<std::uint64_t>(status.st_dev),
                                          static_cast<std::uint64_t>(status.st_ino)});
    }
    return tenant;
  }
  Variant account(AccountIn(data_dir_, account_no));
  const std::optional<DatabaseId> found = ActiveBackend().Find(account);
  if (!found) return std::nullopt;
  ConnectionScope::Located(account, *found);
  return Tenant{std::string(account_no), std::move(account)};
}

}  // namespace brivos::app
