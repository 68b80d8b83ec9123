// The live timer.

#include <cmath>

#include "server/Routes.hpp"
#include "app/Values.hpp"

namespace brivos::server::resources {

using app::Items;
using app::Property;

namespace {

Variant ActiveSlip(Context& c) { return c.Call("CProjectMgr", "GetActiveTransaction", {}); }

// The caller's latest paused slip of the last seven days, or Nothing.
Variant PausedSlip(Context& c) {
  const double today = std::floor(Now().Serial());
  const Variant slips = c.Call("CProjectMgr", "GetTransactionsForWeek",
                               {Date::FromSerial(today - 6), c.Caller().user});
  Variant found;
  for (const Variant& slip : Items(slips)) {
    const Variant status = Property(slip, "Status");
    if (status.Type() == VarType::Long && status.AsLong() == eTransStatus::tsPaused) found = slip;
  }
  return found;
}

}  // namespace

Response Timer(Context& c) {
  Variant slip = ActiveSlip(c);
  if (!slip.AsObject()) slip = PausedSlip(c);
  return slip.AsObject() ? PublicResponse(200, slip) : NoContent();
}

Response TimerStart(Context& c) {
  Json body = c.Body();
  if (!body.contains("Description")) body["Description"] = "";
  c.CallNamed("CProjectMgr", "StartTransaction", body);
  return PublicResponse(201, ActiveSlip(c));
}

Response TimerPause(Context& c) {
  c.Call("CProjectMgr", "PauseActiveTransaction", {});
  const Variant slip = PausedSlip(c);
  return slip.AsObject() ? PublicResponse(200, slip) : NoContent();
}

Response TimerRestart(Context& c) {
  Json body = c.Body();
  if (!body.contains("TransID")) {
    const Variant paused = PausedSlip(c);
    if (!paused.AsObject()) throw HttpError(404, "no paused slip to restart");
    body["TransID"] = CLng(Property(paused, "IProjectTransactionID"));
  }
  c.CallNamed("CProjectMgr", "RestartTransaction", body);
  return PublicResponse(200, ActiveSlip(c));
}

Response TimerStop(Context& c) {
  c.Call("CProjectMgr", "StopActiveTransaction", {});
  return NoContent();
}

}  // namespace brivos::server::resources
