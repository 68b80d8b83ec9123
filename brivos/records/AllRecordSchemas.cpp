#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/ISubscriberLocation.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/RecordSchema.hpp"
#include "brivos/records/SysSessions.hpp"

namespace brivos {

const std::vector<const RecordSchema*>& AllRecordSchemas() {
  static const std::vector<const RecordSchema*> schemas = {
      &ISubScriber::Schema(),
      &ISubscriberLocation::Schema(),
      &IUser::Schema(),
      &SysSessions::Schema(),
  };
  return schemas;
}

}  // namespace brivos
