#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class IProject;

// A task of a project; time slips name it as their TaskID.
#define BRIVOS_IPROJECTTASK_COLUMNS(COL)                         \
  COL(IProjectTaskID, IProjectTaskID, Key, 0, kNoFlags)          \
  COL(ProjectID, Parent, Long, 0, kIndexed)                      \
  COL(Name, Name, Text, 255, kWidthMember)                       \
  COL(Description, Description, Memo, 2000, kWidthMember)        \
  COL(EffectiveDate, EffectiveDate, Date, 0, kWidthMember)       \
  COL(Inactive, Inactive, Boolean, 0, kWidthMember)              \
  COL(PlannedStart, PlannedStart, Date, 0, kWidthMember)         \
  COL(PlannedDuration, PlannedDuration, Double, 0, kWidthMember) \
  COL(PlannedFinish, PlannedFinish, Date, 0, kWidthMember)

#define BRIVOS_IPROJECTTASK_RELATIONS(ONE, MANY) ONE(Project, IProject, ProjectID)

class IProjectTask final : public Record {
  BRIVOS_RECORD(IProjectTask, BRIVOS_IPROJECTTASK_COLUMNS, BRIVOS_IPROJECTTASK_RELATIONS)
};

}  // namespace brivos
