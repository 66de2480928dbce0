// Applying the translated security of a source object to its target:
// compare with what the target already has (exactly under /secforce, by
// effect under /secfix and /secmerge), merge the target's own entries under
// /secmerge, and write (unless the run only lists).
#ifndef TARVIK_TRANSLATE_SECURITY_APPLY_H_
#define TARVIK_TRANSLATE_SECURITY_APPLY_H_

#include <string>

#include "common/sec_desc.h"
#include "common/security_workspace.h"

namespace tarvik {

// Reads, translates, compares and writes. target_existed says whether the
// target object is already there; when not, it is created here, empty, with
// its security. *changed tells whether the target needed (and, unless
// listing, got) new security. False after a failure, already logged, with
// the failing call's error as the thread's last error.
bool ApplySecurity(SecurityWorkspace* workspace, const std::wstring& source_path,
                   const std::wstring& target_path, bool is_directory, bool target_existed,
                   bool* changed, bool open_reparse_point);

// True when the descriptor to apply and the target's current one agree on
// what the run replicates (nothing to do).
bool CompareSecurity(SecurityWorkspace* workspace, const std::wstring& first_path, SecDesc& first,
                     SecDesc& to_apply, const std::wstring& target_path, SecDesc& target);

// Adds to the translated ACLs the entries only the target has (/secmerge).
void MergeTargetAces(SecurityWorkspace* workspace);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_SECURITY_APPLY_H_
