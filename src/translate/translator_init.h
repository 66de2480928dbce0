// The preparation of the process-wide SdTranslator before the first object
// of a run is processed: default owner and group, the machine SIDs of both
// servers, an optional new domain, and the tables translation consults.
// Every reason for a failure is logged; the run then stops before anything
// is copied.
#ifndef TARVIK_TRANSLATE_TRANSLATOR_INIT_H_
#define TARVIK_TRANSLATE_TRANSLATOR_INIT_H_

#include <optional>
#include <string>

#include "server/server.h"
#include "settings/copy_settings.h"

namespace tarvik {

// Prepares the translator from the two resolved servers and Settings().
// True at once when it is already prepared.
bool InitSecurityTranslation(const Server& source, const Server& target, SecurityMode mode,
                             bool list_only);

// The same, after preparing the new domain (/nd) when one is given: a
// controller of it near the target, and its SID.
bool InitNewDomainTranslation(const Server& source, const Server& target,
                              const std::optional<std::wstring>& new_domain, SecurityMode mode,
                              bool list_only);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_TRANSLATOR_INIT_H_
