#include "brivos/automation/Recordset.hpp"

#include <utility>

#include "brivos/automation/ClassRegistry.hpp"
#include "brivos/foundation/Error.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

namespace {

constexpr std::int32_t kItemNotFound = 3265;
constexpr std::int32_t kObjectClosed = 3704;

[[noreturn]] void RaiseItemNotFound() {
  Raise(kItemNotFound,
        "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

[[noreturn]] void RaiseNoCurrentRecord() {
  Raise(errnum::kNoCurrentRecord,
        "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
        "requires a current record.");
}

Recordset& Self(Object& o) { return static_cast<Recordset&>(o); }

}  // namespace

BRIVOS_REGISTER_CLASS(kHelper, Recordset);

const ClassInfo& Recordset::Info() {
  static const ClassInfo info(
      "Recordset", false, nullptr,
      {
          {"EOF", {}, [](Object& o, std::vector<Variant>&) { return Variant(Self(o).Eof()); }},
          {"BOF", {}, [](Object& o, std::vector<Variant>&) { return Variant(Self(o).Bof()); }},
          {"MoveFirst",
           {},
           [](Object& o, std::vector<Variant>&) {
             Self(o).MoveFirst();
             return Variant();
           }},
          {"MoveNext",
           {},
           [](Object& o, std::vector<Variant>&) {
             Self(o).MoveNext();
             return Variant();
           }},
          {"RecordCount",
           {},
           [](Object& o, std::vector<Variant>&) { return Variant(Self(o).RecordCount()); }},
          {"Fields",
           {"Index"},
           [](Object& o, std::vector<Variant>& a) { return Self(o).Fields(a[0]); }},
          {"FieldCount",
           {},
           [](Object& o, std::vector<Variant>&) { return Variant(Self(o).FieldCount()); }},
          {"FieldName",
           {"Index"},
           [](Object& o, std::vector<Variant>& a) {
             return Variant(Self(o).FieldName(CLng(a[0])));
           }},
      });
  return info;
}

Recordset::Recordset() {
  static const auto kNoNames = std::make_shared<const std::vector<std::string>>();
  names_ = kNoNames;
}

Recordset::Recordset(std::vector<std::string> field_names)
    : names_(std::make_shared<const std::vector<std::string>>(std::move(field_names))) {}

Recordset::Recordset(std::shared_ptr<const std::vector<std::string>> field_names)
    : names_(std::move(field_names)) {}

void Recordset::AppendField(std::string name) {
  auto names = std::make_shared<std::vector<std::string>>(*names_);
  names->push_back(std::move(name));
  names_ = std::move(names);
}

void Recordset::AddRow(std::vector<Variant> values) {
  values.resize(names_->size());
  rows_.push_back(std::move(values));
  pos_ = rows_.size() - 1;
  before_first_ = false;
}

void Recordset::CheckOpen() const {
  if (closed_) Raise(kObjectClosed, "Operation is not allowed when the object is closed.");
}

bool Recordset::Eof() const {
  CheckOpen();
  return pos_ >= rows_.size();
}

bool Recordset::Bof() const {
  CheckOpen();
  return before_first_ || rows_.empty();
}

void Recordset::MoveFirst() {
  CheckOpen();
  if (rows_.empty()) RaiseNoCurrentRecord();
  pos_ = 0;
  before_first_ = false;
}

void Recordset::MoveNext() {
  CheckOpen();
  if (pos_ >= rows_.size()) RaiseNoCurrentRecord();
  ++pos_;
  before_first_ = false;
}

std::int32_t Recordset::RecordCount() const {
  CheckOpen();
  return static_cast<std::int32_t>(rows_.size());
}

std::int32_t Recordset::FieldCount() const {
  CheckOpen();
  return static_cast<std::int32_t>(names_->size());
}

const std::string& Recordset::FieldName(std::int32_t index) const {
  CheckOpen();
  if (index < 0 || static_cast<std::size_t>(index) >= names_->size()) RaiseItemNotFound();
  return (*names_)[static_cast<std::size_t>(index)];
}

int Recordset::FindField(std::string_view name) const {
  for (std::size_t i = 0; i < names_->size(); ++i) {
    if (EqualsIgnoreCase((*names_)[i], name)) return static_cast<int>(i);
  }
  return -1;
}

const std::vector<Variant>& Recordset::CurrentRow() const {
  if (before_first_ || pos_ >= rows_.size()) RaiseNoCurrentRecord();
  return rows_[pos_];
}

const Variant& Recordset::Field(std::string_view name) const {
  CheckOpen();
  const int index = FindField(name);
  if (index < 0) RaiseItemNotFound();
  return CurrentRow()[static_cast<std::size_t>(index)];
}

const Variant& Recordset::Field(std::int32_t index) const {
  CheckOpen();
  if (index < 0 || static_cast<std::size_t>(index) >= names_->size()) RaiseItemNotFound();
  return CurrentRow()[static_cast<std::size_t>(index)];
}

Variant Recordset::Fields(const Variant& index) const {
  if (index.Type() == VarType::String) return Field(std::string_view(index.AsString()));
  return Field(CLng(index));
}

std::vector<std::vector<Variant>> Recordset::TakeRows() {
  std::vector<std::vector<Variant>> rows = std::move(rows_);
  rows_.clear();
  pos_ = 0;
  return rows;
}

}  // namespace brivos
