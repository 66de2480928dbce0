// ACEs for BUILTIN accounts, built the way translation builds them.
#ifndef TARVIK_TESTS_COMMON_TEST_ACES_H_
#define TARVIK_TESTS_COMMON_TEST_ACES_H_

#include <cstdint>
#include <vector>

#include "common/sd/ace.h"

namespace tarvik {

// S-1-5-32-<rid>.
inline std::vector<uint8_t> BuiltinSid(uint32_t rid) {
  std::vector<uint8_t> sid = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0};
  for (int i = 0; i < 4; ++i)
    sid.push_back(static_cast<uint8_t>(rid >> (8 * i)));
  return sid;
}

inline Ace BuiltinAce(uint8_t type, uint8_t flags, uint32_t mask, uint32_t rid) {
  Ace ace;
  ace.Build(BuiltinSid(rid), mask, flags, type);
  return ace;
}

}  // namespace tarvik

#endif  // TARVIK_TESTS_COMMON_TEST_ACES_H_
