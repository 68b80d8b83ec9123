#pragma once

#include <string>
#include <vector>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {

// A subscriber database with CProjectMgr at hand, typed and late-bound.
class ProjectTest : public testing::SubscriberTest {
 protected:
  // Adds a project late-bound and returns its key; `chunk` is left as the call left it.
  std::int32_t AddProject(const std::string& name, Variant& chunk, Variant start = Variant(""),
                          Variant client = Variant(0)) {
    std::vector<Variant> args{account,       user,         token,        Variant(name),
                              Variant("d"),  Variant(2),   start,        Variant(""),
                              Variant(true), Variant(0.0), Variant(0.0), Variant(false),
                              chunk,         client,       Variant(1)};
    Variant id = mgr->Invoke("AddProject", args);
    chunk = args[12];
    return CLng(id);
  }
  std::int32_t AddProject(const std::string& name = "Audit") {
    Variant chunk(15);
    return AddProject(name, chunk);
  }
  std::int32_t AddTask(std::int32_t project, const std::string& name = "Fieldwork") {
    Variant p(project), n(name), d("d"), eff(Date::FromParts(2024, 1, 1)), inactive(false),
        start = Variant::Null(), duration(0.0), finish = Variant::Null();
    return typed.AddTask(account, user, token, p, n, d, eff, inactive, start, duration, finish);
  }
  std::int32_t AddStaff(std::int32_t project, std::int32_t user_id = 1) {
    Variant p(project), u(user_id), rate(100.0), cost(60.0), ot_rate(150.0), ot_cost(90.0);
    return typed.AddStaff(account, user, token, p, u, rate, cost, ot_rate, ot_cost);
  }
  // A slip 2024-03-05 from start to stop, on a fresh project, task and staff row unless given.
  std::int32_t AddSlip(Variant start_hour, Variant start_minute, Variant end_hour = Variant(17),
                       Variant end_minute = Variant(30), Variant status = Variant(1)) {
    if (project_ == 0) {
      project_ = AddProject();
      task_ = AddTask(project_);
      staff_ = AddStaff(project_);
    }
    Variant p(project_), day(Date::FromParts(2024, 3, 5)), desc("work"), rate(100.0), cost(60.0),
        ot_cost(90.0), ot_rate(150.0), err(""), t(task_), s(staff_), ot(false);
    return typed.AddTransaction(account, user, token, p, day, start_hour, start_minute, end_hour,
                                end_minute, desc, status, rate, cost, ot_cost, ot_rate, err, t, s,
                                ot);
  }
  void SetStatus(std::int32_t slip, int status, const std::string& as = "admin") {
    auto old = Slip(slip);
    Variant id(slip), day(old->TransDate()), h(9), m(5), eh(17), em(30), desc(old->Description()),
        st(status), rate(old->StaffRate()), cost(old->StaffCost()), otc(old->OTCost()),
        otr(old->OTRate()), err(""), t(old->TaskID()), s(old->StaffID()), ot(false), who(as);
    typed.UpdateTransaction(account, who, token, id, day, h, m, eh, em, desc, st, rate, cost, otc,
                            otr, err, t, s, ot);
  }
  std::shared_ptr<IProjectTransaction> Slip(std::int32_t id) {
    Variant key(id);
    return typed.GetTransaction(account, user, token, key);
  }
  int Count(const std::string& table) { return CLng(Scalar("SELECT COUNT(*) FROM " + table)); }

  Variant user{"admin"}, token{"T"};
  std::shared_ptr<Object> mgr = CreateObject("BRIVOS.CProjectMgr");
  CProjectMgr typed;
  std::int32_t project_ = 0, task_ = 0, staff_ = 0;
};

}  // namespace brivos::testing
