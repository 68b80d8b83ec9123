#include "brivos/automation/Object.hpp"

namespace brivos {

Object::~Object() = default;

}  // namespace brivos
