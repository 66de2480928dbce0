// The two tables translation consults before its fixed rules: the SID map
// file's entries, and the local accounts matched between the source and the
// target server. Each is a process-wide table that serialises its own
// look-ups; the translator only reads through these interfaces.
#ifndef TARVIK_TRANSLATE_TRANSLATION_TABLES_H_
#define TARVIK_TRANSLATE_TRANSLATION_TABLES_H_

#include <cstdint>
#include <optional>

#include "common/sid.h"

namespace tarvik {

// What the SID map file says about one source SID.
struct SidMapEntry {
  SId target;            // the SID it becomes (unless revoked)
  bool revoked = false;  // the SID must disappear from the target
};

class SidMapLookup {
 public:
  virtual ~SidMapLookup() = default;
  // The entry for source, found by its decimal string form; nothing when the
  // file does not name it.
  virtual std::optional<SidMapEntry> Find(const SId& source) const = 0;
};

class RidMapLookup {
 public:
  virtual ~RidMapLookup() = default;
  // The RID on the target server of the local account that has source_rid
  // on the source server; nothing when no account was matched.
  virtual std::optional<uint32_t> Lookup(uint32_t source_rid) const = 0;
};

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_TRANSLATION_TABLES_H_
