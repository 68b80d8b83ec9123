#pragma once

// When each session was signed in and last used, by the library's clock
// (the table SessionUse beside SysSessions), for a front end that ends idle
// and old sessions. Not part of the managers.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "brivos/foundation/Date.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

class IUser;

struct SessionState {
  Variant user_name;  // the session's UserName
  Date signed_in;     // as noted by NoteSignIn; else the session's LastUpdate
  Date last_use;      // as noted by NoteUse; else `signed_in`
  // The session's user within the subscriber of `account` (as
  // IUser::Caller finds it); nullptr when that user no longer exists.
  std::shared_ptr<IUser> user;
};

// The session whose token is `token` on the database of `account`, with its
// user, read in one statement; nothing when there is no such session.
std::optional<SessionState> FindSession(const Variant& account, const std::string& token);

// Notes a session just begun (now); call in the unit of work that began it.
void NoteSignIn(const Variant& account, const std::string& token);

// Notes a use now of the session `state` (as FindSession read it) stands for.
void NoteUse(const Variant& account, const std::string& token, const SessionState& state);

// Removes at most `batch` sessions signed in before `signed_in_before` or
// last used before `used_before`, and the use notes of sessions that are
// gone. Returns the sessions removed.
int RemoveExpiredSessions(const Variant& account, const Date& signed_in_before,
                          const Date& used_before, int batch = 100);

}  // namespace brivos
