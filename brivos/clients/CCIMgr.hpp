#pragma once

#include <cstdint>
#include <memory>

#include "brivos/automation/Collection.hpp"
#include "brivos/automation/Manager.hpp"
#include "brivos/clients/errCCIMgr.hpp"
#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CCIMGR_METHODS(M) \
  /* Adds an active client of the Account's subscriber, numbered from the   */ \
  /* subscriber's client account sequence (`AccountNumber` is ignored), and */ \
  /* returns its key; company names need not be unique. TaxCode is a tax    */ \
  /* code key: Empty, Null and "" store Null, anything else a 32-bit        */ \
  /* integer. The draw and the insert are one unit of work: a failure (91   */ \
  /* without a subscriber row, 13 or 6 for TaxCode, the constraint error    */ \
  /* for a text wider than its column) inserts nothing and leaves the       */ \
  /* counter where it was.                                                  */ \
  M(ADMIN, std::int32_t, AddClient, Account, UserName, Token, CompanyName, Address1, Address2, City, \
    Province, PostalCode, Country, Telephone, FAX, Description, BusinessNumber, TaxCode, \
    AccountNumber, DefaultTerms) \
  /* Rewrites every field of a client but its subscriber, AccountNumber     */ \
  /* included; TaxCode as in AddClient. A refused value writes nothing; an  */ \
  /* unknown CustomerID changes nothing and is not reported.                */ \
  M(ADMIN, void, UpdateClient, Account, UserName, Token, CustomerID, Name, Address1, Address2, City, \
    Province, PostalCode, Country, Telephone, FAX, Description, BusinessNumber, TaxCode, \
    Inactive, AccountNumber, DefaultTerms) \
  /* Deletes the client; projects naming it keep their ClientID. Raises 13  */ \
  /* for a CustomerID that is not a number (94 for Null).                   */ \
  M(ADMIN, void, DeleteCustomer, Account, CustomerID) \
  /* The client with this key. Raises 9 when there is none, 13 when         */ \
  /* CustomerID is not a number (Empty included), 94 when it is Null.       */ \
  M(ANY, std::shared_ptr<SFAProspect>, GetCustomer, Account, UserName, Token, CustomerID) \
  /* The subscriber's clients by company name. Raises 91 when the Account   */ \
  /* path names no subscriber row.                                          */ \
  M(ANY, std::shared_ptr<Collection>, GetAllCustomers, Account, UserName, Token) \
  /* A new collection of the clients GetAllCustomers lists, in its order;   */ \
  /* nothing is filtered by user.                                           */ \
  M(ANY, std::shared_ptr<Collection>, GetAllCustomersForUser, Account, UserName, Token) \
  /* The clients of the file whose company name starts with StartLetter,    */ \
  /* letter case ignored, by company name; every client when StartLetter is */ \
  /* Empty, Null or "". A text of more than one character matches nothing.  */ \
  M(ANY, std::shared_ptr<Collection>, GetClientList, Account, UserName, Token, StartLetter) \
  /* The projects whose ClientID is `ClientID`, in the database's order.    */ \
  /* Raises 13 for a ClientID that is not a number (94 for Null).           */ \
  M(ANY, std::shared_ptr<Collection>, GetClientProjects, Account, UserName, Token, ClientID) \
  /* The subscriber's tax codes, in the database's order. Raises 91 when    */ \
  /* the Account path names no subscriber row.                             */ \
  M(ANY, std::shared_ptr<Collection>, GetAllTaxCodes, Account, UserName, Token) \
  /* The tax code with this key. Raises 9 when there is none, 13 when       */ \
  /* TaxCodeID is not a number (Empty included), 94 when it is Null.        */ \
  M(ANY, std::shared_ptr<CITaxCode>, GetTaxCode, Account, UserName, Token, TaxCodeID) \
  /* Adds a tax code of the Account's subscriber and returns its key; codes */ \
  /* need not be unique. Raises 91 without a subscriber row, 13 for a value */ \
  /* its column cannot take (a rate that is not a number), the constraint   */ \
  /* error for a TaxCode of more than one character or another text wider  */ \
  /* than its column; then nothing is written.                              */ \
  M(ADMIN, std::int32_t, AddTaxCode, Account, UserName, Token, TaxCode, Description, Tax1Rate, \
    Tax1Name, Tax1Exempt, Tax2Rate, Tax2Name, Tax2Exempt, Tax2PiggyBack, Inactive) \
  /* Rewrites every field of a tax code but its subscriber, refusing values */ \
  /* as AddTaxCode does. An unknown TaxCodeID changes nothing and is not    */ \
  /* reported.                                                              */ \
  M(ADMIN, void, UpdateTaxCode, Account, UserName, Token, TaxCodeID, TaxCode, Description, Tax1Rate, \
    Tax1Name, Tax1Exempt, Tax2Rate, Tax2Name, Tax2Exempt, Tax2PiggyBack, Inactive) \
  /* Deletes the tax code; clients naming it keep their TaxCodeID. Raises   */ \
  /* 13 for a TaxCodeID that is not a number (94 for Null).                 */ \
  M(ADMIN, void, DeleteTaxCode, Account, UserName, Token, TaxCodeID)
// clang-format on

// The subscriber's clients (SFAProspect) and the tax codes applied to them
// (CITaxCode). `UserName` and `Token` are accepted and not checked; AddClient
// passes them on to the client account number sequence.
class CCIMgr final : public Dispatch<CCIMgr> {
  BRIVOS_MANAGER(CCIMgr, BRIVOS_CCIMGR_METHODS)
};

}  // namespace brivos
