#pragma once

#include <cstdint>
#include <memory>

#include "brivos/automation/Dispatch.hpp"
#include "brivos/automation/Recordset.hpp"

namespace brivos {

// The value sets of the status and type columns, each a list of
// V(constant, value, description) in ascending value. One list drives the
// C++ constants, the published enumeration and the rows of the class.
#define BRIVOS_EPROJECTSTATUS(V)                                                    \
  V(psActive, 2, "Active - Project is ready for timesheet entry.")                  \
  V(psTerminated, 4, "Terminated - Project has been terminated before completion.") \
  V(psFinished, 5, "Finished - Project has been completed.")

#define BRIVOS_ETRANSSTATUS(V)                                         \
  V(tsActive, 0, "Active - Currently in progress.")                    \
  V(tsComplete, 1, "Complete - Task has been completed.")              \
  V(tsApproved, 2, "Approved - Task has been approved by management.") \
  V(tsBilled, 3, "Billed - Task has been billed to the client.")       \
  V(tsPaused, 4, "tsPaused")

#define BRIVOS_EINVOICESTATUS(V) \
  V(isTrial, 0, "Trial")         \
  V(isApproved, 1, "Approved")   \
  V(isIssued, 2, "Issued")

#define BRIVOS_EEXPENSEPAYMENTTYPE(V)       \
  V(AmericanExpress, 0, "American Express") \
  V(Visa, 1, "Visa")                        \
  V(MasterCard, 2, "Master Card")           \
  V(DinersClub, 3, "Diner's Club")          \
  V(CompanyPaid, 4, "Company Paid")         \
  V(Cheque, 5, "Cheque")                    \
  V(Cash, 6, "Cash")                        \
  V(Other, 7, "Other")

// clang-format off
#define BRIVOS_EEXPENSETYPE(V) \
  V(Airfare, 0, "Airfare") \
  V(Breakfast, 1, "Breakfast") \
  V(CarRental, 2, "Car Rental") \
  V(Conference, 3, "Conference") \
  V(Dinner, 4, "Dinner") \
  V(Dues, 5, "Dues") \
  V(Entertainment, 6, "Entertainment") \
  V(FAX, 7, "Fax") \
  V(Gas, 8, "Gas") \
  V(Gifts, 9, "Gifts") \
  V(Hotel, 10, "Hotel") \
  V(Laundry, 11, "Laundry") \
  V(Lunch, 12, "Lunch") \
  V(Mileage, 13, "Mileage") \
  V(Miscellaneous, 14, "Miscellaneous") \
  V(Paging, 15, "Paging") \
  V(Parking, 16, "Parking") \
  V(PerDiem, 17, "PerDiem") \
  V(Personal, 18, "Personal") \
  V(Shipping, 19, "Shipping") \
  V(Supplies, 20, "Supplies") \
  V(Taxi, 21, "Taxi") \
  V(Telephone, 22, "Telephone") \
  V(Tips, 23, "Tips") \
  V(Tolls, 24, "Tolls") \
  V(Train, 25, "Train")

// Every value set as S(enumeration, list); its class is the enumeration's
// name followed by "Enm".
#define BRIVOS_VALUE_SETS(S)                         \
  S(eProjectStatus, BRIVOS_EPROJECTSTATUS)           \
  S(eTransStatus, BRIVOS_ETRANSSTATUS)               \
  S(eInvoiceStatus, BRIVOS_EINVOICESTATUS)           \
  S(eExpensePaymentType, BRIVOS_EEXPENSEPAYMENTTYPE) \
  S(eExpenseType, BRIVOS_EEXPENSETYPE)
// clang-format on

#define BRIVOS_VALUE_CONSTANT_(name, value, description) static constexpr std::int32_t name = value;
#define BRIVOS_VALUE_SET_STRUCT_(Enum, LIST) \
  struct Enum {                              \
    LIST(BRIVOS_VALUE_CONSTANT_)             \
  };
BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_STRUCT_)

// The creatable class of value set `Set` ("eProjectStatusEnm" for
// eProjectStatus): hands the values and their texts to a caller and
// validates a candidate value.
template <class Set>
class EnumeratedType final : public Dispatch<EnumeratedType<Set>> {
 public:
  static const ClassInfo& Info();

  // The set's rows (fields Code, the value as decimal text, and Description),
  // in ascending value. Built on the first call; every later call returns
  // the same set object wherever the caller left its current row. A new set
  // stands on its last row.
  std::shared_ptr<Recordset> GetAllValues();
  // True when the text of `vntValue` equals a Code exactly (2, "2" and 2.0
  // are the same; "02", " 2" and Empty are no code). Leaves the set's current
  // row after the matching row, or at its end. Null raises 94.
  bool IsValidValue(Variant& vntValue);

 private:
  std::shared_ptr<Recordset> values_;
};

#define BRIVOS_VALUE_SET_CLASS_(Enum, LIST)   \
  extern template class EnumeratedType<Enum>; \
  using Enum##Enm = EnumeratedType<Enum>;
BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_CLASS_)

}  // namespace brivos
