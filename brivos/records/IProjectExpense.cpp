#include "brivos/records/IProjectExpense.hpp"

#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"

namespace brivos {

const RecordSchema& IProjectExpense::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "IProjectExpense", BRIVOS_RECORD_COLUMNS(BRIVOS_IPROJECTEXPENSE_COLUMNS),
      {
          {"Project", K::Single, &IProject::Schema, kProjectID},
          {"Staff", K::Single, &IProjectStaff::Schema, kStaffID},
          {"Invoice", K::Single, &IProjectInvoice::Schema, kInvoiceID},
          {"ExpenseReport", K::Single, &IExpenseReport::Schema, kExpenseReportID},
          {"TaxCode", K::Single, &CITaxCode::Schema, kTaxCodeID},
      },
      &MakeRecord<IProjectExpense>);
  return schema;
}

std::shared_ptr<IProject> IProjectExpense::Project(const Variant& Account) {
  return RelatedOneAs<IProject>(*this, 0, Account);
}

std::shared_ptr<IProjectStaff> IProjectExpense::Staff(const Variant& Account) {
  return RelatedOneAs<IProjectStaff>(*this, 1, Account);
}

std::shared_ptr<IProjectInvoice> IProjectExpense::Invoice(const Variant& Account) {
  return RelatedOneAs<IProjectInvoice>(*this, 2, Account);
}

std::shared_ptr<IExpenseReport> IProjectExpense::ExpenseReport(const Variant& Account) {
  return RelatedOneAs<IExpenseReport>(*this, 3, Account);
}

std::shared_ptr<CITaxCode> IProjectExpense::TaxCode(const Variant& Account) {
  return RelatedOneAs<CITaxCode>(*this, 4, Account);
}

}  // namespace brivos
