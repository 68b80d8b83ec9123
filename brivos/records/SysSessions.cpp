#include "brivos/records/SysSessions.hpp"

namespace brivos {

const RecordSchema& SysSessions::Schema() {
  static const RecordSchema schema("SysSessions", BRIVOS_RECORD_COLUMNS(BRIVOS_SYSSESSIONS_COLUMNS),
                                   {}, &MakeRecord<SysSessions>);
  return schema;
}

}  // namespace brivos
