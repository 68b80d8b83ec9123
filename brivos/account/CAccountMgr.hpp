#pragma once

#include <cstdint>
#include <memory>

#include "brivos/automation/Dispatch.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/ISubscriberLocation.hpp"

namespace brivos {

// The subscriber's own profile (its ISubScriber row and primary location) and
// its three number sequences: invoices, expense reports and client accounts.
// `UserName` and `Token` are accepted for uniformity and not used.
class CAccountMgr final : public Dispatch<CAccountMgr> {
 public:
  static const ClassInfo& Info();

  // The subscriber whose AccountNo is the account number of the Account
  // path, or nullptr (an empty object reference) when there is none.
  std::shared_ptr<ISubScriber> GetAccountInfo(Variant& Account);
  // Writes the business profile and then the address of every primary
  // location, as two statements; a failure of the second leaves the first
  // written. Nothing is validated or converted beyond the parameter types.
  void UpdateAccountBusinessInfo(Variant& Account, Variant& CompanyName, Variant& Address1,
                                 Variant& Address2, Variant& Address3, Variant& City,
                                 Variant& Province, Variant& PostalCode, Variant& Country,
                                 Variant& Telephone, Variant& FAX, Variant& MileageRate,
                                 Variant& DefaultTerms, Variant& DefaultInvoiceNotes,
                                 Variant& DefaultInvoiceFormat);
  // The first location flagged primary. Raises 9 when there is none.
  // `ForAccount` is ignored: the location is always that of `Account`.
  std::shared_ptr<ISubscriberLocation> GetPrimaryLocation(Variant& Account, Variant& UserName,
                                                          Variant& Token, Variant& ForAccount);
  // Sets the three counters as given; nothing checks that they grow.
  void UpdateNextNumbers(Variant& Account, Variant& UserName, Variant& Token, Variant& NextInvoice,
                         Variant& NextExpenseReport, Variant& NextClientAccount);

  // Each draw returns the counter's stored value and stores that value plus
  // one, in one unit of work: concurrent draws, from threads or processes,
  // never share a number (they wait for each other). Raises 91 when the
  // Account path names no subscriber row, 6 when the counter is at the top of
  // its range; then no counter changes.
  std::int32_t GetNextInvoiceNumber(Variant& Account, Variant& UserName, Variant& Token);
  std::int32_t GetNextExpenseReportNumber(Variant& Account, Variant& UserName, Variant& Token);
  std::int32_t GetNextClientAccountNumber(Variant& Account, Variant& UserName, Variant& Token);

 private:
  std::int32_t DrawNumber(Variant& Account, ISubScriber::Column counter, const char* update);
};

}  // namespace brivos
