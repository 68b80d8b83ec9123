#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

// A signed-in session: the account path, the user name and the token.
#define BRIVOS_SYSSESSIONS_COLUMNS(COL)                           \
  COL(SysSessionsID, SysSessionsID, Key, 0, kNoFlags)             \
  COL(Account, Account, Text, 255, kWidthMember)                  \
  COL(UserName, UserName, Text, 255, kWidthMember)                \
  COL(Token, Token, Text, 255, kWidthMember | kIndexed | kSecret) \
  COL(LastUpdate, LastUpdate, Date, 0, kWidthMember | kDefaultNow)

class SysSessions final : public Record {
  BRIVOS_RECORD(SysSessions, BRIVOS_SYSSESSIONS_COLUMNS, BRIVOS_NO_RELATIONS)
};

}  // namespace brivos
