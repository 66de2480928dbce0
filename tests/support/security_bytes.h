// SIDs and ACLs as bytes, for the tests of descriptor storage.
#ifndef TARVIK_TESTS_SUPPORT_SECURITY_BYTES_H_
#define TARVIK_TESTS_SUPPORT_SECURITY_BYTES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/sd/sid_string.h"

namespace tarvik {

inline std::vector<uint8_t> Sid(std::wstring_view text) {
  return *ParseSidString(text, 10);
}

// An ACL (revision 2) of allowed ACEs, each a mask and a SID text.
inline std::vector<uint8_t> AclOf(const std::vector<std::pair<uint32_t, std::wstring>>& aces) {
  std::vector<uint8_t> acl = {2, 0, 0, 0, static_cast<uint8_t>(aces.size()), 0, 0, 0};
  for (const auto& [mask, sid_text] : aces) {
    std::vector<uint8_t> sid = Sid(sid_text);
    acl.insert(acl.end(), {0, 0, static_cast<uint8_t>(8 + sid.size()), 0});
    for (int i = 0; i < 4; ++i)
      acl.push_back(static_cast<uint8_t>(mask >> (8 * i)));
    acl.insert(acl.end(), sid.begin(), sid.end());
  }
  acl[2] = static_cast<uint8_t>(acl.size());
  return acl;
}

}  // namespace tarvik

#endif  // TARVIK_TESTS_SUPPORT_SECURITY_BYTES_H_
