#include "brivos/projects/internal/ProjectValues.hpp"

#include <cmath>

#include "brivos/foundation/Clock.hpp"
#include "brivos/records/EnumeratedTypes.hpp"

namespace brivos::projects {

Variant DateOrNull(const Variant& value) {
  if (value.IsEmpty() || value.IsNull()) return Variant::Null();
  if (value.Type() == VarType::String && value.AsString().empty()) return Variant::Null();
  return Variant(CDate(value));
}

void ClampTimeChunk(Variant& time_chunk) {
  if (CDbl(time_chunk) > 60) time_chunk = Variant(60);
  if (CDbl(time_chunk) < 1) time_chunk = Variant(1);
}

namespace {

// A whole number within [low, high]; anything else cannot form a time of day.
int TimePart(const Variant& part, int low, int high) {
  if (part.IsEmpty() || part.IsNull()) RaiseRuntime(errnum::kTypeMismatch);
  const double value = CDbl(part);
  if (value != std::trunc(value) || value < low || value > high) {
    RaiseRuntime(errnum::kTypeMismatch);
  }
  return static_cast<int>(value);
}

}  // namespace

Date SlipTime(const Date& day, const Variant& hour, const Variant& minute) {
  return Date::FromParts(day.Year(), day.Month(), day.Day(), TimePart(hour, 0, 23),
                         TimePart(minute, 0, 59), 1);
}

namespace {

bool Below(const Variant& status, double value) { return !status.IsNull() && CDbl(status) < value; }
bool Equals(const Variant& status, double value) {
  return !status.IsNull() && CDbl(status) == value;
}

}  // namespace

std::pair<Variant, Variant> ApprovalAfter(const Variant& old_status, const Variant& by,
                                          const Variant& on, const Variant& new_status,
                                          const Variant& user) {
  constexpr double kApproved = eTransStatus::tsApproved;
  if (!Below(old_status, kApproved)) {
    if (Below(new_status, kApproved)) return {Variant::Null(), Variant::Null()};
    return {by, on};
  }
  if (Equals(new_status, kApproved)) return {user, Variant(Now())};
  return {Variant::Null(), Variant::Null()};
}

Variant ZeroToNull(const Variant& id) {
  if (id.IsEmpty() || (!id.IsNull() && CDbl(id) == 0)) return Variant::Null();
  return id;
}

bool IsActive(const Variant& status) { return Equals(status, eProjectStatus::psActive); }

const char* ProjectOrder(const Variant& sort_order) {
  static constexpr const char* kOrders[] = {"ClientID ASC, Name ASC", "ClientID ASC, Name DESC",
                                            "Name ASC", "Name DESC"};
  const double order = CDbl(sort_order);
  for (int i = 0; i < 4; ++i) {
    if (order == i) return kOrders[i];
  }
  return "";
}

}  // namespace brivos::projects
