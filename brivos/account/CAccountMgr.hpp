#pragma once

#include <cstdint>
#include <memory>

#include "brivos/automation/Manager.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/ISubscriberLocation.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CACCOUNTMGR_METHODS(M) \
  /* The subscriber whose AccountNo is the account number of the Account    */ \
  /* path, or nullptr (an empty object reference) when there is none.       */ \
  M(ANY, std::shared_ptr<ISubScriber>, GetAccountInfo, Account) \
  /* Writes the business profile and then the address of every primary     */ \
  /* location, as two statements; a failure of the second leaves the first  */ \
  /* written. Nothing is validated or converted beyond the parameter types. */ \
  M(ADMIN, void, UpdateAccountBusinessInfo, Account, CompanyName, Address1, Address2, Address3, City, \
    Province, PostalCode, Country, Telephone, FAX, MileageRate, DefaultTerms, \
    DefaultInvoiceNotes, DefaultInvoiceFormat) \
  /* The first location flagged primary. Raises 9 when there is none.       */ \
  /* `ForAccount` is ignored: the location is always that of `Account`.     */ \
  M(ANY, std::shared_ptr<ISubscriberLocation>, GetPrimaryLocation, Account, UserName, Token, ForAccount) \
  /* Sets the three counters as given; nothing checks that they grow.       */ \
  M(ADMIN, void, UpdateNextNumbers, Account, UserName, Token, NextInvoice, NextExpenseReport, \
    NextClientAccount) \
  /* Each draw returns the counter's stored value and stores that value     */ \
  /* plus one, in one unit of work: concurrent draws, from threads or       */ \
  /* processes, never share a number (they wait for each other). Raises 91  */ \
  /* when the Account path names no subscriber row, 6 when the counter is   */ \
  /* at the top of its range; then no counter changes.                      */ \
  M(ADMIN, std::int32_t, GetNextInvoiceNumber, Account, UserName, Token) \
  M(ADMIN, std::int32_t, GetNextExpenseReportNumber, Account, UserName, Token) \
  M(ADMIN, std::int32_t, GetNextClientAccountNumber, Account, UserName, Token)
// clang-format on

// The subscriber's own profile (its ISubScriber row and primary location) and
// its three number sequences: invoices, expense reports and client accounts.
// `UserName` and `Token` are accepted for uniformity and not used.
class CAccountMgr final : public Dispatch<CAccountMgr> {
  BRIVOS_MANAGER(CAccountMgr, BRIVOS_CACCOUNTMGR_METHODS)

 private:
  std::int32_t DrawNumber(const Variant& Account, ISubScriber::Column counter);
};

}  // namespace brivos
