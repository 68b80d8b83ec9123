#include "brivos/foundation/Error.hpp"

#include <new>
#include <string>
#include <utility>

namespace brivos {

Error::Error(std::int32_t number, std::string source, std::string description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {}

std::string RuntimeMessage(std::int32_t number) {
  switch (number) {
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case 11:
      return "Division by zero";
    case 13:
      return "Type mismatch";
    case 91:
      return "Object variable or With block variable not set";
    case 94:
      return "Invalid use of Null";
    case 429:
      return "ActiveX component can't create object";
    case 438:
      return "Object doesn't support this property or method";
    case 450:
      return "Wrong number of arguments or invalid property assignment";
    case 457:
      return "This key is already associated with an element of this collection";
    case 3021:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case 3265:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case 3704:
      return "Operation is not allowed when the object is closed.";
    default:
      return "Application-defined or object-defined error";
  }
}

void RaiseRuntime(std::int32_t number) {
  throw Error(number, std::string(), RuntimeMessage(number));
}

void Raise(std::int32_t number, std::string description) {
  throw Error(number, std::string(), std::move(description));
}

void RethrowTagged(std::string_view source) {
  std::int32_t number = errnum::kDbFailure;
  std::string src;
  std::string description = "Unexpected error";
  // Called outside a handler there is nothing to rethrow; report it as an
  // unexpected error rather than terminating.
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const Error& e) {
      number = e.Number();
      src = e.Source();
      description = e.Description();
    } catch (const std::bad_alloc&) {
      number = 7;
      description = RuntimeMessage(7);
    } catch (const std::exception& e) {
      description = e.what();
    } catch (...) {
    }
  }
  // Tagged already means ending in this error's own tag: the marker text may
  // also stand anywhere in a description as part of a caller's value.
  std::string tag = "\r\n";
  tag += kErrorMarker;
  tag += std::to_string(number);
  if (!description.ends_with(tag)) description += tag;
  if (src.empty()) src = std::string(source);
  throw Error(number, std::move(src), std::move(description));
}

}  // namespace brivos
