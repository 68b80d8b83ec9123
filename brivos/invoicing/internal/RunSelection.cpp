#include "brivos/invoicing/internal/RunSelection.hpp"

#include <cmath>
#include <string>

#include "brivos/automation/Collection.hpp"

namespace brivos::invoicing {

namespace {

// A piece of a project list: a whole number (13 otherwise, the empty piece
// included).
Variant ProjectKey(const std::string& piece) {
  const double value = CDbl(Variant(piece));
  if (piece.empty() || value != std::trunc(value)) RaiseRuntime(errnum::kTypeMismatch);
  return Variant(CLng(Variant(value)));
}

}  // namespace

std::vector<std::shared_ptr<IProject>> ActiveProjects(const Variant& account) {
  const auto active = IProject::Select(account, "Status=2", {}, "Parent ASC");
  std::vector<std::shared_ptr<IProject>> projects;
  for (const Variant& item : active->Items()) {
    projects.push_back(std::static_pointer_cast<IProject>(item.AsObject()));
  }
  return projects;
}

std::vector<std::shared_ptr<IProject>> ListedProjects(const Variant& account, const Variant& list) {
  const std::string text = CStr(list);
  std::vector<std::shared_ptr<IProject>> projects;
  for (std::size_t start = 0; !text.empty() && start <= text.size();) {
    const std::size_t bar = std::min(text.find('|', start), text.size());
    projects.push_back(Found(IProject::Load(account, ProjectKey(text.substr(start, bar - start)))));
    start = bar + 1;
  }
  return projects;
}

bool IsBillable(const IProject& project) {
  return IsTrue(project.Billable());
}

}  // namespace brivos::invoicing
