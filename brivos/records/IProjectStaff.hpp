#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class IProject;
class IUser;

// A user assigned to a project, with the rates that apply there. Time slips
// and expenses name it as their StaffID.
#define BRIVOS_IPROJECTSTAFF_COLUMNS(COL)                 \
  COL(IProjectStaffID, IProjectStaffID, Key, 0, kNoFlags) \
  COL(ProjectID, Parent, Long, 0, kIndexed)               \
  COL(Rate, Rate, Currency, 0, kWidthMember)              \
  COL(Cost, Cost, Currency, 0, kWidthMember)              \
  COL(OTRate, OTRate, Currency, 0, kWidthMember)          \
  COL(OTCost, OTCost, Currency, 0, kWidthMember)          \
  COL(CreateDate, CreateDate, Date, 0, kWidthMember)      \
  COL(UserID, UserID, Long, 0, kIndexed)

#define BRIVOS_IPROJECTSTAFF_RELATIONS(ONE, MANY) \
  ONE(Project, IProject, ProjectID)               \
  ONE(User, IUser, UserID)

class IProjectStaff final : public Record {
  BRIVOS_RECORD(IProjectStaff, BRIVOS_IPROJECTSTAFF_COLUMNS, BRIVOS_IPROJECTSTAFF_RELATIONS)
};

}  // namespace brivos
