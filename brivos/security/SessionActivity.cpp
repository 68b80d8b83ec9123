#include "brivos/security/SessionActivity.hpp"

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Record.hpp"
#include "brivos/security/internal/InternalTables.hpp"

namespace brivos {

namespace {

// When the session of Token was signed in and last used, by the library's
// clock: SysSessions.LastUpdate is stamped by the database's.
const RecordSchema& SessionUseSchema() {
  static const RecordSchema schema("SessionUse",
                                   {{"SessionUseID", "SessionUseID", ColumnType::Key, 0, kNoFlags},
                                    {"Token", "Token", ColumnType::Text, 255, kIndexed | kSecret},
                                    {"SignedIn", "SignedIn", ColumnType::Date, 0, kNoFlags},
                                    {"LastUse", "LastUse", ColumnType::Date, 0, kNoFlags}},
                                   {}, nullptr);
  return schema;
}

[[maybe_unused]] const bool kRegistered = RegisterRecordSchema(&SessionUseSchema);

// The session's columns after the user's, so that the user's record is
// built from the row as IUser's own loaders build it.
const std::string& FindSessionSql() {
  static const std::string sql = [] {
    std::string text = "SELECT ";
    for (const ColumnDef& c : IUser::Schema().columns) {
      text += "p.";
      text += c.column;
      text += ',';
    }
    return text +
           "s.UserName AS SessionUserName,s.LastUpdate AS SessionLastUpdate,"
           "u.SignedIn AS SessionSignedIn,u.LastUse AS SessionLastUse FROM SysSessions s "
           "LEFT JOIN SessionUse u ON u.Token=s.Token "
           "LEFT JOIN IUser p ON p.UserName=s.UserName AND "
           "p.Parent=(SELECT ISubScriberID FROM ISubScriber WHERE AccountNo=?) "
           "WHERE s.Token=?;";
  }();
  return sql;
}

}  // namespace

std::optional<SessionState> FindSession(const Variant& account, const std::string& token) {
  return internal::WithTable(account, SessionUseSchema(), [&]() -> std::optional<SessionState> {
    const std::shared_ptr<Recordset> rows = Connection::Open(account).Query(
        FindSessionSql(), {Parameter::QuotedText(Variant(AccountNumberOf(account))),
                           Parameter::Text(token)});
    if (rows->RecordCount() == 0) return std::nullopt;
    const std::size_t at = IUser::Schema().columns.size();
    std::vector<std::vector<Variant>> found = rows->TakeRows();
    found.resize(1);
    const std::vector<Variant>& row = found.front();
    SessionState state;
    state.user_name = row[at];
    state.signed_in = row[at + 2].IsNull() ? CDate(row[at + 1]) : CDate(row[at + 2]);
    state.last_use = row[at + 3].IsNull() ? state.signed_in : CDate(row[at + 3]);
    if (!row[0].IsNull()) {
      state.user = RecordsFrom(IUser::Schema(), *rows, std::move(found))->ItemAs<IUser>(1);
    }
    return state;
  });
}

void NoteSignIn(const Variant& account, const std::string& token) {
  internal::WithTable(account, SessionUseSchema(), [&] {
    const Date now = Now();
    Connection::Open(account).Execute(
        "INSERT INTO SessionUse (Token, SignedIn, LastUse) VALUES (?,?,?);",
        {Parameter::Text(token), Parameter::Date(now), Parameter::Date(now)});
  });
}

void NoteUse(const Variant& account, const std::string& token, const SessionState& state) {
  internal::WithTable(account, SessionUseSchema(), [&] {
    Connection db = Connection::Open(account);
    const Date now = Now();
    if (db.Execute("UPDATE SessionUse SET LastUse=? WHERE Token=?;",
                   {Parameter::Date(now), Parameter::Text(token)}) > 0) {
      return;
    }
    db.Execute("INSERT INTO SessionUse (Token, SignedIn, LastUse) VALUES (?,?,?);",
               {Parameter::Text(token), Parameter::Date(state.signed_in), Parameter::Date(now)});
  });
}

int RemoveExpiredSessions(const Variant& account, const Date& signed_in_before,
                          const Date& used_before, int batch) {
  return internal::WithTable(account, SessionUseSchema(), [&] {
    Connection db = Connection::Open(account);
    const int removed = db.Execute(
        "DELETE FROM SysSessions WHERE SysSessionsID IN (SELECT s.SysSessionsID FROM "
        "SysSessions s LEFT JOIN SessionUse u ON u.Token=s.Token WHERE "
        "COALESCE(u.SignedIn, s.LastUpdate)<? OR COALESCE(u.LastUse, u.SignedIn, s.LastUpdate)<? "
        "LIMIT ?);",
        {Parameter::Date(signed_in_before), Parameter::Date(used_before), Parameter::Long(batch)});
    db.Execute(
        "DELETE FROM SessionUse WHERE SessionUseID IN (SELECT u.SessionUseID FROM SessionUse u "
        "LEFT JOIN SysSessions s ON s.Token=u.Token WHERE s.SysSessionsID IS NULL LIMIT ?);",
        {Parameter::Long(batch)});
    return removed;
  });
}

}  // namespace brivos
