#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "brivos/automation/Object.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos {

// Who may call a member through a front end that serves several users of
// one subscriber. The library itself checks nothing; a front end (the
// service) refuses what the member's declaration does not allow.
enum class Access {
  kAdmin,  // administrators only
  kAny,    // any signed-in user
  kOwn,    // any signed-in user, on what is their own (MemberInfo::owned)
};

// "administrator", "any user", "any user, on their own".
const char* AccessName(Access access);

// One late-bound member: a method or a property read.
struct MemberInfo {
  MemberInfo(std::string member_name, std::vector<std::string> args,
             std::function<Variant(Object&, std::vector<Variant>&)> body)
      : name(std::move(member_name)), arg_names(std::move(args)), invoke(std::move(body)) {}

  std::string name;
  std::vector<std::string> arg_names;
  std::function<Variant(Object&, std::vector<Variant>&)> invoke;
  // Declared beside each manager method; members of the value sets and the
  // record classes read nothing of a subscriber's and are for any user.
  Access access = Access::kAny;
  // The arguments of a kOwn member that name something that must be the
  // caller's own (a slip, a staff row, an expense, a report, a user).
  std::vector<std::string> owned;
  // The argument naming a row the member changes or deletes (a slip, an
  // expense, an invoice): a front end refuses the change while the row's
  // state forbids it (billed, approved, issued).
  std::vector<std::string> changed;
};

// A member's declared access, as the method lists write it: ADMIN, ANY,
// OWN(Arg, ...), or EDIT(Row, Arg, ...) and ADMIN_EDIT(Row) for members that
// change the row Row names. `owned` and `changed` are the text of the
// arguments ("TransID, StaffID").
struct DeclaredAccess {
  Access access;
  const char* owned = "";
  const char* changed = "";
};
MemberInfo Declare(MemberInfo member, const DeclaredAccess& declared);

// What the registry knows of a class: its name, whether callers may create
// it, and its members in interface order.
class ClassInfo {
 public:
  ClassInfo(std::string name, bool creatable, std::function<std::shared_ptr<Object>()> create,
            std::vector<MemberInfo> members);

  const std::string& Name() const { return name_; }
  // "BRIVOS.<Name>"; the source of errors the class raises itself.
  const std::string& ProgId() const { return prog_id_; }
  bool Creatable() const { return creatable_; }
  std::shared_ptr<Object> Create() const { return create_ ? create_() : nullptr; }
  const std::vector<MemberInfo>& Members() const { return members_; }
  // Case-insensitive; nullptr when there is no such member.
  const MemberInfo* Find(std::string_view member) const;

 private:
  std::string name_;
  std::string prog_id_;
  bool creatable_;
  std::function<std::shared_ptr<Object>()> create_;
  std::vector<MemberInfo> members_;
  std::unordered_map<std::string, std::size_t, AsciiCaseHash, AsciiCaseEqual> index_;
};

// Late-bound call through a class's member table: 438 for an unknown member,
// 450 for a wrong argument count; errors leave through the error convention.
Variant InvokeMember(const ClassInfo& info, Object& self, std::string_view member,
                     std::vector<Variant>& args);

namespace internal {

template <class R>
Variant ToVariant(R&& value) {
  using T = std::decay_t<R>;
  if constexpr (std::is_same_v<T, Variant>) {
    return std::forward<R>(value);
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    return Variant(static_cast<double>(value));
  } else {
    return Variant(std::forward<R>(value));
  }
}

template <class C, class R, class... A, std::size_t... I>
Variant CallWith(C& self, R (C::*method)(A...), std::vector<Variant>& args,
                 std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>) {
    (self.*method)(args[I]...);
    return Variant();
  } else {
    return ToVariant((self.*method)(args[I]...));
  }
}

}  // namespace internal

// Binds a typed method taking `Variant&` arguments (and returning a Variant,
// a value a Variant holds, an object pointer or nothing) as a late-bound member.
template <class C, class R, class... A>
MemberInfo BindMethod(std::string name, std::vector<std::string> arg_names, R (C::*method)(A...)) {
  static_assert((std::is_same_v<A, Variant&> && ...), "late-bound arguments are Variant&");
  if (arg_names.size() != sizeof...(A)) std::terminate();  // a table that disagrees with its method
  return MemberInfo{std::move(name), std::move(arg_names),
                    [method](Object& self, std::vector<Variant>& args) {
                      return internal::CallWith(static_cast<C&>(self), method, args,
                                                std::index_sequence_for<A...>{});
                    }};
}

// Base of every creatable class: ClassName and Invoke come from Derived::Info().
template <class Derived>
class Dispatch : public Object {
 public:
  std::string ClassName() const override { return Derived::Info().Name(); }
  Variant Invoke(std::string_view member, std::vector<Variant>& args) override {
    return InvokeMember(Derived::Info(), *this, member, args);
  }

 protected:
  // Runs a public method's body under the error convention of this class.
  template <class F>
  static decltype(auto) Guard(F&& body) {
    return Guarded(Derived::Info().ProgId(), std::forward<F>(body));
  }
};

}  // namespace brivos
