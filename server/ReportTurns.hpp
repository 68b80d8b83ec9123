#pragma once

// One report statement at a time per firm: an administrator's own SQL may
// run for the whole time budget, and a firm that sends many at once would
// hold every connection of its pool and the service's report threads.

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace brivos::server {

class ReportTurns;

// A firm's turn to run a report statement, held for the life of the object.
class ReportTurn {
 public:
  // Takes the turn of firm `account_no`, or raises HttpError 429 (with
  // Retry-After: the seconds left of the running statement's time budget,
  // at least 1) while another statement of the firm runs.
  ReportTurn(ReportTurns& turns, std::string_view account_no);
  ~ReportTurn();
  ReportTurn(const ReportTurn&) = delete;
  ReportTurn& operator=(const ReportTurn&) = delete;

 private:
  ReportTurns& turns_;
  std::string firm_;
};

class ReportTurns {
 public:
  // `budget`: how long a report statement may run.
  explicit ReportTurns(std::chrono::milliseconds budget) : budget_(budget) {}

 private:
  friend class ReportTurn;
  std::chrono::milliseconds budget_;
  std::mutex mutex_;
  // The firms running one, by account number in lower case (on PostgreSQL,
  // numbers differing in case name one schema), with when it started.
  std::map<std::string, std::chrono::steady_clock::time_point, std::less<>> running_;
};

}  // namespace brivos::server
