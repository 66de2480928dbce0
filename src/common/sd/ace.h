// One ACE in a buffer of its own, and an ordered list of them: the pieces
// translation takes a source ACL apart into and builds the target ACL from.
#ifndef TARVIK_COMMON_SD_ACE_H_
#define TARVIK_COMMON_SD_ACE_H_

#include <cstdint>
#include <list>
#include <vector>

#include "common/sd/acl_bytes.h"
#include "common/sd/sid_bytes.h"

namespace tarvik {

class Ace {
 public:
  // Room for the header, the mask and the largest SID, so that most ACEs
  // never make the buffer grow.
  static constexpr size_t kInitialCapacity = 76;

  Ace();

  // Copies the whole ACE (its AceSize bytes). An empty span, or one shorter
  // than the ACE claims, raises SDException "Invalid ACE" (code 1).
  void CopyFrom(AceBytes raw);

  struct Parts {
    uint8_t type = 0;
    uint8_t flags = 0;
    uint32_t mask = 0;
    SidBytes sid;  // empty for the types without a SID
  };
  // Type and flags of every ACE; mask and SID of the types that hold them.
  // False for the types without a SID (17 and 20 and above). A SID that is
  // invalid or runs past AceSize raises SDException "Invalid ACE".
  bool Parse(Parts* parts) const;

  // Makes this ACE: for an object type, the object flags and GUIDs come from
  // object_source (the ACE being rewritten). Types above 16 build nothing.
  void Build(SidBytes sid, uint32_t mask, uint8_t flags, uint8_t type, AceBytes object_source = {});

  // Same size, and the same bytes; two vendor 0xAA ACEs need only the same
  // flags, uid, gid, mode and extended flags.
  bool Equals(const Ace& other) const;
  // Same type and the same SID (where the layout of the type puts it).
  bool SameTypeAndSid(const Ace& other) const;

  bool empty() const { return bytes_.empty(); }
  AceBytes bytes() const { return bytes_; }
  uint8_t type() const { return AceType(bytes_); }
  uint8_t flags() const { return AceFlags(bytes_); }
  uint16_t size() const { return AceSize(bytes_); }
  uint32_t mask() const { return AceUint32(bytes_, 4); }
  // The SID where the type's layout puts it, or an empty span.
  SidBytes Sid() const;

 private:
  std::vector<uint8_t> bytes_;
};

// The entries of an ACL being rebuilt, in order; moving an entry keeps every
// other entry's place.
using AceList = std::list<Ace>;

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_ACE_H_
