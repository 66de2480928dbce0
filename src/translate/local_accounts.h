// Local account translation (/lu, /lg): the local groups and users of the
// source server are matched by name with the accounts the target server was
// given beforehand, under the same name or under the source server's name,
// an underscore and the name. Every matched pair of RIDs goes into the
// RidTranslator, through which SID translation carries the source's local
// SIDs to the target machine.
#ifndef TARVIK_TRANSLATE_LOCAL_ACCOUNTS_H_
#define TARVIK_TRANSLATE_LOCAL_ACCOUNTS_H_

#include "translate/rid_translator.h"
#include "translate/sd_translator.h"

namespace tarvik {

// Matches the accounts that translator asks for (translateLocalGroups,
// translateLocalUsers) between its source and target servers, whose machine
// SIDs it already holds, into rids. False when an account could not be
// matched, each reason logged: a run must not go on without them.
bool BuildLocalAccountTables(const SdTranslator& translator, RidTranslator* rids);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_LOCAL_ACCOUNTS_H_
