#pragma once

#include "brivos/database/Backend.hpp"

namespace brivos::internal {

// One SQLite file per subscriber: the Account path names the file (see
// DatabaseFileOf), sessions are pooled per file, and the file is in WAL mode
// from its creation.
class SqliteBackend final : public Backend {
 public:
  DatabaseId Locate(const Variant& account) override;
  bool NamesFiles() const override { return true; }
  std::shared_ptr<Session> Connect(const DatabaseId& id) override;
  std::shared_ptr<Session> ConnectTo(const Variant& account) override;
  void CreateDatabase(const Variant& account, std::string_view ddl,
                      const std::function<void(Session&)>& fill) override;
  std::string ColumnDeclaration(std::string_view quoted_name, ColumnType type, int width,
                                bool default_now) const override;
  void ReleaseIdle() noexcept override;
  PoolStatistics Statistics() const override;
  std::size_t DescriptorsAtMost() const override;
};

}  // namespace brivos::internal
