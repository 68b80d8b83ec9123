#include "app/Tenants.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "brivos/database/Backend.hpp"

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
    return Tenant{std::string(account_no), Variant(AccountIn(real_dir_, account_no))};
  }
  Variant account(AccountIn(data_dir_, account_no));
  if (!ActiveBackend().Find(account)) return std::nullopt;
  return Tenant{std::string(account_no), std::move(account)};
}

}  // namespace brivos::app
