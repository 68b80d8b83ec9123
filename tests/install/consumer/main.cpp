// Provisions a subscriber in the directory given, signs its administrator in through
// a manager created by its programmatic id, and prints every registered class's name.
#include <iostream>

#include "brivos/brivos.hpp"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  try {
    const std::string account = std::string(argv[1]) + "\\A100";
    brivos::CreateSubscriberDatabase(account, "Consumer Ltd", "admin", "secret");
    std::vector<brivos::Variant> args{account, "admin", "secret"};
    auto token = brivos::CreateObject("BRIVOS.CSecurityMgr")->Invoke("BeginUserSession", args);
    if (brivos::CStr(token).empty()) return 1;
    for (const brivos::ClassInfo* info : brivos::RegisteredClasses()) {
      std::cout << info->Name() << '\n';
    }
  } catch (const brivos::Error& e) {
    std::cerr << e.Number() << ' ' << e.Description() << '\n';
    return 1;
  }
}
