// ACEs, ACLs and descriptors as the security traces and failure reports show them.
#ifndef TARVIK_COMMON_ACE_DUMP_H_
#define TARVIK_COMMON_ACE_DUMP_H_

#include <string>
#include <string_view>

#include "common/acl.h"

namespace tarvik {

// One line for an ACE (no line end); account names are resolved on server.
std::wstring AceText(const Ace& ace, std::wstring_view server);

// "   <AceText>\n" per entry, in order; "No Access control list.\n" without
// an ACL.
std::wstring AclText(const Acl& acl, std::wstring_view server);

// The short dump of a descriptor the system refused (revision, reserved
// byte, control, owner and group in hexadecimal), as one warning.
std::wstring DescriptorDumpText(const void* descriptor);
void DescriptorDump(const void* descriptor);

}  // namespace tarvik

#endif  // TARVIK_COMMON_ACE_DUMP_H_
