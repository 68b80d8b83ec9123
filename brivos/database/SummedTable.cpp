#include "brivos/database/SummedTable.hpp"

#include "brivos/database/Backend.hpp"
#include "brivos/database/Database.hpp"

namespace brivos {

namespace {

bool Files() { return ActiveBackend().NamesFiles(); }

std::string KeyList(const SummedTable& s) {
  std::string list;
  for (const SummedColumn& k : s.keys) list += (list.empty() ? "" : ", ") + k.name;
  return list;
}

std::string KeyValues(const SummedTable& s, const std::string& row) {
  std::string list;
  for (const SummedColumn& k : s.keys) list += (list.empty() ? "" : ", ") + k.of(row);
  return list;
}

std::string KeyIs(const SummedTable& s, const std::string& row) {
  std::string where;
  for (const SummedColumn& k : s.keys) {
    where += (where.empty() ? "" : " AND ") + k.name + " = " + k.of(row);
  }
  return where;
}

std::string Columns(const SummedTable& s) {
  std::string list = KeyList(s) + ", " + s.count;
  for (const SummedColumn& c : s.sums) list += ", " + c.name;
  return list;
}

std::string Changed(const SummedTable& s) {
  std::string any;
  for (const std::string& c : s.watched) {
    any += (any.empty() ? "(" : " OR ") + ("OLD." + c) + " IS DISTINCT FROM NEW." + c;
  }
  return any + ")";
}

std::string Watched(const SummedTable& s) {
  std::string list;
  for (const std::string& c : s.watched) list += (list.empty() ? "" : ", ") + c;
  return list;
}

// Whether OLD and NEW both count, under the same key: true or false, never
// Null (a Null day), which NOT would keep Null.
std::string SameKey(const SummedTable& s) {
  std::string same =
      "(COALESCE(" + s.counts("OLD") + ", FALSE) AND COALESCE(" + s.counts("NEW") + ", FALSE)";
  for (const SummedColumn& k : s.keys) same += " AND " + k.of("OLD") + " = " + k.of("NEW");
  return same + ")";
}

// Moves the sums of a row changed under the same key from OLD to NEW.
std::string Move(const SummedTable& s) {
  std::string update;
  for (const SummedColumn& c : s.sums) {
    update += (update.empty() ? "" : ", ") + c.name + " = " + c.name + " + " + c.of("NEW") + " - " +
              c.of("OLD");
  }
  return "UPDATE " + s.table + " SET " + update + " WHERE " + KeyIs(s, "NEW") + ";";
}

// Adds the row `row` to its sums.
std::string Add(const SummedTable& s, const std::string& row) {
  std::string values = KeyValues(s, row) + ", 1",
              update = s.count + " = " + s.table + "." + s.count + " + 1";
  for (const SummedColumn& c : s.sums) {
    values += ", " + c.of(row);
    update += ", " + c.name + " = " + s.table + "." + c.name + " + excluded." + c.name;
  }
  return "INSERT INTO " + s.table + " (" + Columns(s) + ") VALUES (" + values + ") ON CONFLICT (" +
         KeyList(s) + ") DO UPDATE SET " + update + ";";
}

// Takes the row `row` from its sums.
std::string Take(const SummedTable& s, const std::string& row) {
  std::string update = s.count + " = " + s.count + " - 1";
  for (const SummedColumn& c : s.sums) update += ", " + c.name + " = " + c.name + " - " + c.of(row);
  return "UPDATE " + s.table + " SET " + update + " WHERE " + KeyIs(s, row) + "; DELETE FROM " +
         s.table + " WHERE " + KeyIs(s, row) + " AND " + s.count + " <= 0;";
}

// The table, its key first (the order its rows are kept in).
std::string Table(const SummedTable& s) {
  std::string ddl = "CREATE TABLE \"" + s.table + "\" (";
  for (const SummedColumn& k : s.keys) ddl += "\"" + k.name + "\" BIGINT NOT NULL, ";
  ddl += "\"" + s.count + "\" BIGINT NOT NULL";
  for (const SummedColumn& c : s.sums) ddl += ", \"" + c.name + "\" DOUBLE PRECISION NOT NULL";
  ddl += ", PRIMARY KEY (";
  for (std::size_t i = 0; i < s.keys.size(); ++i) {
    ddl += (i ? ", \"" : "\"") + s.keys[i].name + "\"";
  }
  return ddl + "))" + (Files() ? " WITHOUT ROWID" : "") + ";\n";
}

// SQLite: a trigger a change, each a statement of its own.
std::vector<std::string> FileTriggers(const SummedTable& s) {
  const std::string on = " ON " + s.source;
  const std::string update = " AFTER UPDATE OF " + Watched(s) + on;
  return {
      "CREATE TRIGGER " + s.table + "_Insert AFTER INSERT" + on + " WHEN " + s.counts("NEW") +
          " BEGIN " + Add(s, "NEW") + " END",
      "CREATE TRIGGER " + s.table + "_Delete AFTER DELETE" + on + " WHEN " + s.counts("OLD") +
          " BEGIN " + Take(s, "OLD") + " END",
      "CREATE TRIGGER " + s.table + "_Update" + update + " WHEN " + Changed(s) + " AND " +
          SameKey(s) + " BEGIN " + Move(s) + " END",
      "CREATE TRIGGER " + s.table + "_UpdateOld" + update + " WHEN " + s.counts("OLD") + " AND " +
          Changed(s) + " AND NOT " + SameKey(s) + " BEGIN " + Take(s, "OLD") + " END",
      "CREATE TRIGGER " + s.table + "_UpdateNew" + update + " WHEN " + s.counts("NEW") + " AND " +
          Changed(s) + " AND NOT " + SameKey(s) + " BEGIN " + Add(s, "NEW") + " END",
  };
}

// PostgreSQL: one function for every change, run with the search path of
// the schema it was made in; TRUNCATE empties the sums.
std::string PgFunction(const SummedTable& s) {
  return "CREATE OR REPLACE FUNCTION " + s.table +
         "_Keep() RETURNS trigger LANGUAGE plpgsql SET search_path FROM CURRENT AS $keep$\nBEGIN\n"
         "  IF TG_OP = 'TRUNCATE' THEN DELETE FROM " +
         s.table + "; RETURN NULL; END IF;\n  IF TG_OP = 'UPDATE' AND NOT " + Changed(s) +
         " THEN RETURN NULL; END IF;\n  IF TG_OP = 'UPDATE' AND " + SameKey(s) + " THEN " +
         Move(s) + " RETURN NULL; END IF;\n  IF TG_OP <> 'INSERT' AND " + s.counts("OLD") +
         " THEN " + Take(s, "OLD") + " END IF;\n  IF TG_OP <> 'DELETE' AND " + s.counts("NEW") +
         " THEN " + Add(s, "NEW") + " END IF;\n  RETURN NULL;\nEND $keep$;\n";
}

std::string PgTriggers(const SummedTable& s) {
  return "CREATE TRIGGER " + s.table + "_Keep AFTER INSERT OR DELETE OR UPDATE OF " + Watched(s) +
         " ON " + s.source + " FOR EACH ROW EXECUTE FUNCTION " + s.table +
         "_Keep();\nCREATE TRIGGER " + s.table + "_Empty AFTER TRUNCATE ON " + s.source +
         " FOR EACH STATEMENT EXECUTE FUNCTION " + s.table + "_Keep();\n";
}

// The sums of the rows the database holds.
std::string Fill(const SummedTable& s) {
  std::string select = KeyValues(s, "t") + ", COUNT(*)";
  for (const SummedColumn& c : s.sums) select += ", SUM(" + c.of("t") + ")";
  return "INSERT INTO " + s.table + " (" + Columns(s) + ") SELECT " + select + " FROM " + s.source +
         " t WHERE " + s.counts("t") + " GROUP BY " + KeyValues(s, "t");
}

}  // namespace

std::string SummedTableDdl(const SummedTable& s) {
  std::string ddl = Table(s);
  if (Files()) {
    for (const std::string& trigger : FileTriggers(s)) ddl += trigger + ";\n";
  } else {
    ddl += PgFunction(s) + PgTriggers(s);
  }
  return ddl;
}

void AddSummedTable(const Variant& account, const SummedTable& s) {
  if (Files()) {
    // One writer at a time: no row is written between the sums and the
    // triggers, and a second caller finds the table made.
    UnitOfWork work(account);
    Connection& db = work.Db();
    const auto made =
        db.Query("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = ?",
                 {Parameter::Text(Variant(s.table))});
    if (CLng(made->Field(0)) != 0) return;
    db.Execute(Table(s));
    for (const std::string& trigger : FileTriggers(s)) db.Execute(trigger);
    db.Execute(Fill(s));
    work.Commit();
    return;
  }
  // A change of the schema runs as its owner in a transaction of its own.
  // The triggers lock the summed table against writers until it commits;
  // the sums read it after them: every row written before is summed, every
  // row after goes through the triggers. A second caller, waiting for the
  // first, finds the table made.
  std::string comments;
  const auto comment = [&](const std::string& column) {
    comments += "COMMENT ON COLUMN " + s.table + "." + column + " IS '" + column + "'; ";
  };
  for (const SummedColumn& k : s.keys) comment(k.name);
  comment(s.count);
  for (const SummedColumn& c : s.sums) comment(c.name);
  Connection db = Connection::Open(account);
  db.Execute(PgFunction(s) + "DO $add$ BEGIN IF to_regclass('" + s.table + "') IS NULL THEN " +
             Table(s) + comments + PgTriggers(s) + Fill(s) + "; END IF; END $add$");
}

}  // namespace brivos
