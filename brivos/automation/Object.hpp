#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/foundation/Variant.hpp"

namespace brivos {

// An automation object: reachable late-bound through Invoke.
class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object();
  // "CProjectMgr", "IProject", ...
  virtual std::string ClassName() const = 0;
  // Late binding: a method call or a property read by name, case-insensitive.
  // Arguments are by reference: a method that writes an argument back changes
  // args[i]. Raises 438 for an unknown member and 450 for a wrong argument
  // count; every other failure follows the error convention of the member.
  virtual Variant Invoke(std::string_view member, std::vector<Variant>& args) = 0;
};

}  // namespace brivos
