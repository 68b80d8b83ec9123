#pragma once

#include <string>

#include "brivos/foundation/Variant.hpp"

namespace brivos {

// Every occurrence of the two-character `token` in `text` replaced by the text
// of `value`. The search continues after an inserted value, so a value that
// contains its own token is inserted once.
std::string ReplaceToken(const Variant& text, const Variant& token, const Variant& value);

// `templ` with "%1", "%2" and "%3" replaced by the texts of the values, in
// that order. A Null value leaves its token in place; an omitted value is
// Empty and replaces its token with nothing.
std::string FillMessage(const Variant& templ, const Variant& value1 = Variant(),
                        const Variant& value2 = Variant(), const Variant& value3 = Variant());

}  // namespace brivos
