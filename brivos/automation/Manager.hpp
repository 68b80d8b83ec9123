#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "brivos/automation/ClassRegistry.hpp"
#include "brivos/automation/Dispatch.hpp"

// A manager class is declared from one list of its methods, in interface order,
// each with who may call it through a front end serving many users (ADMIN,
// ANY, or OWN(Arg, ...): any user, when the named arguments are their own;
// EDIT and ADMIN_EDIT where the member changes the rows the arguments name):
//
//   #define BRIVOS_CSECURITYMGR_METHODS(M)
//     /* Signs a user in and returns the session token. */
//     M(OWN(), std::string, BeginUserSession, Account, UserName, Password)
//     M(OWN(), void, EndUserSession, Account, UserName)
//
//   class CSecurityMgr final : public Dispatch<CSecurityMgr> {
//     BRIVOS_MANAGER(CSecurityMgr, BRIVOS_CSECURITYMGR_METHODS)
//   };
//
// Each M(Access, Result, Name, Arg...) gives the typed public method
// `Result Name(const Variant& Arg...)`, which runs under the error convention
// of the class, and its late-bound member with the same argument names. An
// argument the method writes back is listed as BYREF(Arg) and taken as
// `Variant& Arg`; every other one converts from a literal, a Date or a
// Currency without a named variable. The body is written once in the source
// file, reading the arguments as `a.Arg`:
//
//   BRIVOS_METHOD(CSecurityMgr, EndUserSession) { ... a.Account ... }
//
// A late-bound call goes straight to the body under the one convention of
// Invoke; the argument count of both forms comes from the same list.

#define BRIVOS_PARENS_ ()
#define BRIVOS_EXPAND_(...) BRIVOS_EXPAND3_(BRIVOS_EXPAND3_(BRIVOS_EXPAND3_(__VA_ARGS__)))
#define BRIVOS_EXPAND3_(...) BRIVOS_EXPAND2_(BRIVOS_EXPAND2_(BRIVOS_EXPAND2_(__VA_ARGS__)))
#define BRIVOS_EXPAND2_(...) BRIVOS_EXPAND1_(BRIVOS_EXPAND1_(BRIVOS_EXPAND1_(__VA_ARGS__)))
#define BRIVOS_EXPAND1_(...) BRIVOS_EXPAND0_(BRIVOS_EXPAND0_(BRIVOS_EXPAND0_(__VA_ARGS__)))
#define BRIVOS_EXPAND0_(...) __VA_ARGS__

// F(x) for each argument, separated by commas.
#define BRIVOS_FOR_EACH_(F, ...) __VA_OPT__(BRIVOS_EXPAND_(BRIVOS_FOR_EACH_STEP_(F, __VA_ARGS__)))
#define BRIVOS_FOR_EACH_STEP_(F, x, ...) \
  F(x) __VA_OPT__(, BRIVOS_FOR_EACH_AGAIN_ BRIVOS_PARENS_(F, __VA_ARGS__))
#define BRIVOS_FOR_EACH_AGAIN_() BRIVOS_FOR_EACH_STEP_

// F(x) for each argument, not separated.
#define BRIVOS_FOR_EACH_JOINED_(F, ...) \
  __VA_OPT__(BRIVOS_EXPAND_(BRIVOS_FOR_EACH_JOINED_STEP_(F, __VA_ARGS__)))
#define BRIVOS_FOR_EACH_JOINED_STEP_(F, x, ...) \
  F(x) __VA_OPT__(BRIVOS_FOR_EACH_JOINED_AGAIN_ BRIVOS_PARENS_(F, __VA_ARGS__))
#define BRIVOS_FOR_EACH_JOINED_AGAIN_() BRIVOS_FOR_EACH_JOINED_STEP_

// An argument is a name, or BYREF(name) when the method writes it back.
#define BRIVOS_CAT_(a, b) BRIVOS_CAT_I_(a, b)
#define BRIVOS_CAT_I_(a, b) a##b
#define BRIVOS_SECOND_(...) BRIVOS_SECOND_I_(__VA_ARGS__)
#define BRIVOS_SECOND_I_(a, b, ...) b
#define BRIVOS_BYREF_PROBE_BYREF(x) ~, 1,
#define BRIVOS_IS_BYREF_(x) BRIVOS_SECOND_(BRIVOS_CAT_(BRIVOS_BYREF_PROBE_, x), 0, ~)
#define BRIVOS_BYREF_NAME_BYREF(x) x
#define BRIVOS_IF_0_(t, f) f
#define BRIVOS_IF_1_(t, f) t
#define BRIVOS_IF_BYREF_(x, t, f) BRIVOS_CAT_(BRIVOS_IF_, BRIVOS_CAT_(BRIVOS_IS_BYREF_(x), _))(t, f)
#define BRIVOS_ARG_(x) BRIVOS_IF_BYREF_(x, BRIVOS_CAT_(BRIVOS_BYREF_NAME_, x), x)
#define BRIVOS_ARG_TYPE_(x) BRIVOS_IF_BYREF_(x, ::brivos::Variant&, const ::brivos::Variant&)

// F(d, x) for each argument x, separated by commas.
#define BRIVOS_FOR_EACH_WITH_(F, d, ...) \
  __VA_OPT__(BRIVOS_EXPAND_(BRIVOS_FOR_EACH_WITH_STEP_(F, d, __VA_ARGS__)))
#define BRIVOS_FOR_EACH_WITH_STEP_(F, d, x, ...) \
  F(d, x) __VA_OPT__(, BRIVOS_FOR_EACH_WITH_AGAIN_ BRIVOS_PARENS_(F, d, __VA_ARGS__))
#define BRIVOS_FOR_EACH_WITH_AGAIN_() BRIVOS_FOR_EACH_WITH_STEP_

#define BRIVOS_ARG_PARAM_(x) BRIVOS_ARG_TYPE_(x) BRIVOS_ARG_(x)
#define BRIVOS_ARG_NAME_(x) BRIVOS_ARG_NAME_I_(BRIVOS_ARG_(x))
#define BRIVOS_ARG_NAME_I_(x) BRIVOS_ARG_NAME_II_(x)
#define BRIVOS_ARG_NAME_II_(x) #x
#define BRIVOS_ARG_PASS_(x) BRIVOS_ARG_(x)
#define BRIVOS_ARG_FIELD_(x) BRIVOS_ARG_TYPE_(x) BRIVOS_ARG_(x);

// The access a row declares: ADMIN, ANY, OWN(Arg, ...), EDIT(Row, Arg, ...)
// (OWN of all of them, and the member changes the row Row names) or
// ADMIN_EDIT(Row).
#define BRIVOS_ACCESS_ADMIN ::brivos::DeclaredAccess{::brivos::Access::kAdmin}
#define BRIVOS_ACCESS_ANY ::brivos::DeclaredAccess{::brivos::Access::kAny}
#define BRIVOS_ACCESS_OWN(...) ::brivos::DeclaredAccess{::brivos::Access::kOwn, #__VA_ARGS__}
#define BRIVOS_ACCESS_EDIT(Row_, ...)                                                     \
  ::brivos::DeclaredAccess{::brivos::Access::kOwn, #Row_ __VA_OPT__(", " #__VA_ARGS__), \
                           #Row_}
#define BRIVOS_ACCESS_ADMIN_EDIT(Row_) ::brivos::DeclaredAccess{::brivos::Access::kAdmin, "", #Row_}

#define BRIVOS_MANAGER_ROW_(A_, R_, N_, ...)                                              \
  ::brivos::Declare(                                                                      \
      ::brivos::BindArgs(                                                                 \
          #N_,                                                                            \
          std::array<const char*, std::size(std::initializer_list<const char*>{           \
                                      BRIVOS_FOR_EACH_(BRIVOS_ARG_NAME_, __VA_ARGS__)})>{ \
              BRIVOS_FOR_EACH_(BRIVOS_ARG_NAME_, __VA_ARGS__)},                           \
          &Self::N_##_),                                                                  \
      BRIVOS_CAT_(BRIVOS_ACCESS_, A_)),

#define BRIVOS_MANAGER_METHOD_(A_, R_, N_, ...)                                                     \
 public:                                                                                           \
  struct N_##Args {                                                                                \
    BRIVOS_FOR_EACH_JOINED_(BRIVOS_ARG_FIELD_, __VA_ARGS__)                                        \
  };                                                                                               \
  using N_##Result = R_;                                                                           \
  R_ N_(BRIVOS_FOR_EACH_(BRIVOS_ARG_PARAM_, __VA_ARGS__)) {                                        \
    return Guard(                                                                                  \
        [&]() -> R_ { return N_##_(N_##Args{BRIVOS_FOR_EACH_(BRIVOS_ARG_PASS_, __VA_ARGS__)}); }); \
  }                                                                                                \
                                                                                                   \
 private:                                                                                          \
  R_ N_##_(const N_##Args& a);

#define BRIVOS_MANAGER(Class, METHODS)                                                        \
 public:                                                                                      \
  using Self = Class;                                                                         \
  static const ::brivos::ClassInfo& Info() {                                                  \
    static const ::brivos::ClassInfo info(                                                    \
        #Class, true,                                                                         \
        [] { return std::static_pointer_cast<::brivos::Object>(std::make_shared<Class>()); }, \
        {METHODS(BRIVOS_MANAGER_ROW_)});                                                      \
    return info;                                                                              \
  }                                                                                           \
  METHODS(BRIVOS_MANAGER_METHOD_)                                                             \
                                                                                              \
 public:

// The definition of a method declared by BRIVOS_MANAGER; its arguments are `a.Name`.
#define BRIVOS_METHOD(Class, Name) Class::Name##Result Class::Name##_(const Name##Args& a)

namespace brivos {

namespace internal {

template <class C, class R, class Args, std::size_t N, std::size_t... I>
Variant CallWithArgs(C& self, R (C::*body)(const Args&), std::vector<Variant>& args,
                     std::index_sequence<I...>) {
  if constexpr (std::is_void_v<R>) {
    (self.*body)(Args{args[I]...});
    return Variant();
  } else {
    return ToVariant((self.*body)(Args{args[I]...}));
  }
}

}  // namespace internal

// The late-bound member of a method declared by BRIVOS_MANAGER: `body` takes
// the arguments gathered as one struct of N references (const where the
// method does not write the argument back).
template <class C, class R, class Args, std::size_t N>
MemberInfo BindArgs(const char* name, const std::array<const char*, N>& arg_names,
                    R (C::*body)(const Args&)) {
  static_assert(sizeof(Args) == N * sizeof(Variant*) || N == 0,
                "the argument struct and the argument names come from one list");
  return MemberInfo{name, std::vector<std::string>(arg_names.begin(), arg_names.end()),
                    [body](Object& self, std::vector<Variant>& args) {
                      return internal::CallWithArgs<C, R, Args, N>(
                          static_cast<C&>(self), body, args, std::make_index_sequence<N>{});
                    }};
}

}  // namespace brivos
