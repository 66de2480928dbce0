// SecDesc: one security descriptor held in memory, with the parts it carries.
// A descriptor read from an object is a self-relative copy; a descriptor
// being built is absolute, its owner, group and ACL pointers reaching SId
// and Acl values that must outlive every use of it (the security workspace
// holds both). Every operation raises SDException with its message on
// failure.
#ifndef TARVIK_COMMON_SEC_DESC_H_
#define TARVIK_COMMON_SEC_DESC_H_

#include <cstdint>
#include <memory>

#include "common/acl.h"
#include "common/sid.h"
#include "platform/win_types.h"

namespace tarvik {

class SecDesc {
 public:
  // An empty absolute descriptor of revision 1 with no parts.
  SecDesc();
  SecDesc(const SecDesc&) = delete;
  SecDesc& operator=(const SecDesc&) = delete;

  // Empty absolute again (same revision), no parts; the buffer is kept.
  void Reset();

  // A null sid (or one that is not valid) clears the owner and its part.
  void SetOwner(const SId& sid);
  void SetGroup(const SId& sid);
  void SetDacl(const Acl& acl);
  void SetSacl(const Acl& acl);
  // Sets the descriptor's control word to control (the copy of a source
  // descriptor's); which bits reach an object is the writer's business.
  void set_control(SECURITY_DESCRIPTOR_CONTROL control) { control_ = control; }

  // False when the descriptor does not carry the part; otherwise the SID is
  // copied into sid with its defaulted flag.
  bool GetOwner(SId* sid) const;
  bool GetGroup(SId* sid) const;
  // False when the descriptor does not carry the part (the SACL is carried
  // by any of the SACL, attribute and scope parts); otherwise acl uses the
  // ACL where it lies in this descriptor, which must outlive it.
  bool GetDacl(Acl* acl);
  bool GetSacl(Acl* acl);

  // --- Reading into the buffer ---
  // At least size bytes of room, the old content dropped.
  void Reserve(uint32_t size);
  void* buffer() { return storage_.get(); }
  // The buffer now holds a self-relative descriptor of these parts.
  void TakeRead(SECURITY_INFORMATION parts, SECURITY_DESCRIPTOR_CONTROL control, uint32_t revision);

  const void* descriptor() const { return storage_.get(); }
  SECURITY_INFORMATION parts() const { return parts_; }
  void add_parts(SECURITY_INFORMATION parts) { parts_ |= parts; }
  SECURITY_DESCRIPTOR_CONTROL control() const { return control_; }
  uint32_t revision() const { return revision_; }
  uint32_t capacity() const { return capacity_; }

 private:
  SECURITY_DESCRIPTOR* absolute();

  // 8-byte units keep the absolute form's pointers aligned.
  std::unique_ptr<uint64_t[]> storage_;
  uint32_t capacity_ = 0;
  SECURITY_INFORMATION parts_ = 0;
  SECURITY_DESCRIPTOR_CONTROL control_ = 0;
  uint32_t revision_ = SECURITY_DESCRIPTOR_REVISION;
};

}  // namespace tarvik

#endif  // TARVIK_COMMON_SEC_DESC_H_
