// Historical SIDs: a SID that an account carried in a domain it has left
// (its SID history) is replaced by the account's SID of today, found by
// name on the target server. Decisions are kept in the SID cache, per SID
// and per source domain, so that each SID and each domain is worked out
// once while its entry stays in the cache.
#ifndef TARVIK_TRANSLATE_SID_HISTORY_H_
#define TARVIK_TRANSLATE_SID_HISTORY_H_

#include "common/sid.h"
#include "translate/sd_translator.h"

namespace tarvik {

// The SID that source becomes on the target: the current SID of its
// account, or source itself.
SId ResolveHistoricalSid(const SdTranslator& translator, const SId& source);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_SID_HISTORY_H_
