// Raw ACEs and ACLs in their published layout, for the translation tests.
#ifndef TARVIK_TESTS_TRANSLATE_ACL_BUILDER_H_
#define TARVIK_TESTS_TRANSLATE_ACL_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "translate/translate_world.h"

namespace tarvik {

inline void PutU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline void SetSize(std::vector<uint8_t>* ace) {
  (*ace)[2] = static_cast<uint8_t>(ace->size());
  (*ace)[3] = static_cast<uint8_t>(ace->size() >> 8);
}

// type, flags, size, mask, object part (object types), SID, trailing data.
inline std::vector<uint8_t> RawAce(uint8_t type, uint8_t flags, uint32_t mask,
                                   const std::wstring& sid, const std::vector<uint8_t>& object = {},
                                   const std::vector<uint8_t>& data = {}) {
  std::vector<uint8_t> ace = {type, flags, 0, 0};
  PutU32(&ace, mask);
  ace.insert(ace.end(), object.begin(), object.end());
  std::vector<uint8_t> sid_bytes = SidBytesOf(sid);
  ace.insert(ace.end(), sid_bytes.begin(), sid_bytes.end());
  ace.insert(ace.end(), data.begin(), data.end());
  SetSize(&ace);
  return ace;
}

// An entry without a SID where the translator looks for one (vendor types,
// labels): the header and the body as given.
inline std::vector<uint8_t> OpaqueAce(uint8_t type, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> ace = {type, 0, 0, 0};
  ace.insert(ace.end(), body.begin(), body.end());
  SetSize(&ace);
  return ace;
}

inline std::vector<uint8_t> RawAcl(const std::vector<std::vector<uint8_t>>& aces,
                                   uint8_t revision = 2) {
  std::vector<uint8_t> acl = {revision, 0, 0, 0, static_cast<uint8_t>(aces.size()), 0, 0, 0};
  for (const std::vector<uint8_t>& ace : aces)
    acl.insert(acl.end(), ace.begin(), ace.end());
  acl[2] = static_cast<uint8_t>(acl.size());
  acl[3] = static_cast<uint8_t>(acl.size() >> 8);
  return acl;
}

}  // namespace tarvik

#endif  // TARVIK_TESTS_TRANSLATE_ACL_BUILDER_H_
