// An ACL as read from a security descriptor or rebuilt from a list of ACEs,
// with the two comparisons security fixing needs.
#ifndef TARVIK_COMMON_ACL_H_
#define TARVIK_COMMON_ACL_H_

#include <cstdint>
#include <span>
#include <vector>

#include "common/sd/ace.h"

namespace tarvik {

class Acl {
 public:
  Acl() = default;
  Acl(const Acl&) = delete;
  Acl& operator=(const Acl&) = delete;

  // Uses the ACL where it lies (inside a descriptor); an empty span is an
  // absent (null) ACL. Count, revision and size come from its header.
  void Attach(std::span<uint8_t> acl, int32_t present, int32_t defaulted);

  // Copies entry index into ace; SDException "Unable to get this ace %d"
  // when there is none.
  void GetAce(uint32_t index, Ace* ace) const;
  // Some entry has the type and SID of ace.
  bool ContainsTypeAndSid(const Ace& ace) const;
  // Deletes every entry of the ACL in use and forgets it; revision 2.
  void Clear();
  // Puts the list in canonical order (explicit denies, other explicit
  // entries, inherited denies, other inherited entries, each group in its
  // order; entries of types above 8 stay where they are) and builds the ACL
  // from it in this object's buffer, present, of revision 2 (4 when it holds
  // object entries).
  void Set(AceList* list);
  void CopyPresence(const Acl& from);

  // The same entries, in any order.
  bool EqualAsSet(const Acl& other) const;
  // The same effective rights: per type and SID, the masks (generic rights
  // mapped) and flags OR-ed together per audit class must agree; entries of
  // types above 8 must find an equal entry of their type in other when other
  // has any of that type. Entries only other has do not count.
  bool Equivalent(const Acl& other) const;

  std::span<const uint8_t> acl() const { return acl_; }
  bool has_acl() const { return !acl_.empty(); }
  int32_t present() const { return present_; }
  int32_t defaulted() const { return defaulted_; }
  uint32_t count() const { return count_; }
  uint32_t size() const { return size_; }
  uint8_t revision() const { return revision_; }

 private:
  // The trace of an entry the ACL refused: the sizes, the ACL header and
  // every entry, the failed one marked.
  void TraceInsertionFailure(const AceList& list, uint32_t failed, size_t size) const;

  std::span<uint8_t> acl_;
  std::vector<uint8_t> buffer_;
  int32_t present_ = 0;
  int32_t defaulted_ = 0;
  uint32_t count_ = 0;
  uint32_t size_ = 0;
  uint8_t revision_ = kAclRevision;
};

// The canonical ordering alone (Set applies it before building).
void OrderCanonically(AceList* list);

}  // namespace tarvik

#endif  // TARVIK_COMMON_ACL_H_
