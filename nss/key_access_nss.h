#pragma once

// NSS's side of key access: the one password function of the process. NSS hands it the argument
// given to the operation; a KeyAccessSession there answers, anything else (or nothing) never
// prompts.

#include <pk11pub.h>

namespace mirebolt::platform {

char* AnswerKeyAccess(PK11SlotInfo* slot, PRBool retry, void* session);

}  // namespace mirebolt::platform
