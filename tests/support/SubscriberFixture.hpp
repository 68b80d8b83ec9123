#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"

namespace brivos::testing {

// The error a call raises, or nothing.
std::optional<Error> ErrorOf(const std::function<void()>& call);

// The number of the Error `call` raises, or 0 when it raises nothing.
std::int32_t RaisedNumber(const std::function<void()>& call);

// Expects `call` to raise error `number`; returns the error for further checks.
Error ExpectError(const std::function<void()>& call, std::int32_t number);

// A unique temporary directory, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Each test on a fresh subscriber database: account "A100" of company
// "Acme Consulting", main user "admin" with password "secret".
class SubscriberTest : public ::testing::Test {
 protected:
  SubscriberTest();

  // The Account path: directory, backslash, account number.
  Variant account;
  Variant main_user{"admin"};
  Variant main_password{"secret"};

  // Runs a statement on the database directly.
  void Exec(const std::string& sql);
  // The first field of the first row of `sql`.
  Variant Scalar(const std::string& sql);
  // Adds a user row directly and returns its key.
  std::int32_t AddUser(const std::string& name, const std::string& password,
                       bool allow_logon = true, const std::string& last_name = "",
                       const std::string& first_name = "");
  std::int32_t SubscriberId();

  TempDir dir;
};

}  // namespace brivos::testing
