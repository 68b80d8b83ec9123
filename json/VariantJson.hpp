#pragma once

// Automation values to and from JSON: the one encoding of every front end
// (the `brivos` program, the HTTP service, the bindings). Records are objects
// of their properties, collections arrays, Currency decimal text with four
// places, Dates ISO text, Empty and Null null.

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "brivos/brivos.hpp"

namespace brivos::json {

using Json = nlohmann::ordered_json;

// Input a front end refuses before the library sees it: a usage mistake, not
// an error the library raised.
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A JSON value as a Variant: null is Null, booleans Boolean, strings String,
// arrays Array; an integral number as app::WholeNumber has it (a Long within
// 32 bits, an exact Double up to 2^53, error 6 beyond), any other number a
// Double. Objects are refused with BadInput.
Variant FromJson(const Json& value);

// One command-line argument as a Variant. JSON text gives its value as
// FromJson does; a whole number written beyond 64 bits is error 6 as well. A bare word that is not JSON (admin, A100, 2024-03-05) is a
// String. Text that starts like JSON ({, [ or a double quote) but does not
// parse is refused, since the caller plainly meant JSON.
Variant ArgumentFromText(std::string_view text);

// A Date from an argument given after --date: ISO text or a day serial.
Variant DateArgumentFromText(std::string_view text);

// A value as JSON. Records are objects of their column properties in
// interface order, collections arrays of their items, result sets arrays of
// row objects (every row, from the first), Currency the decimal text with
// four places, Dates ISO text, Empty and Null null. With `raw`, every value
// is wrapped as {"type": <variant type>, "value": ...} so the variant type
// shows; objects also carry their class.
Json ToJson(const Variant& value, bool raw = false);

// Leaves the members named `name` (compared without case) out of every
// object in `value`, or sets them to null when `as_null`.
void Hide(Json& value, std::string_view name, bool as_null);

// The compact text of ToJson(value), written straight from the value
// without building the JSON tree first: what Dump(ToJson(value), true)
// gives, in a fraction of the time, with the members named `hidden` (none
// when empty) treated as Hide treats them, so that a secret never reaches
// the text.
void AppendJson(std::string& out, const Variant& value, std::string_view hidden = {},
                bool hidden_as_null = false);

// The text of one JSON document, indented unless `compact`. Text that is not
// valid UTF-8 is written with replacement characters rather than refused.
std::string Dump(const Json& value, bool compact);

}  // namespace brivos::json
