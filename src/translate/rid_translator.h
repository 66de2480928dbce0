// RidTranslator: the local accounts matched between the source and the
// target server, as pairs (source RID, target RID). Local account
// translation fills it once while the translator is prepared; afterwards
// every worker looks RIDs up in it at once.
#ifndef TARVIK_TRANSLATE_RID_TRANSLATOR_H_
#define TARVIK_TRANSLATE_RID_TRANSLATOR_H_

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "translate/translation_tables.h"

namespace tarvik {

class RidTranslator : public RidMapLookup {
 public:
  static constexpr uint32_t kBuckets = 11;

  // False, changing nothing, when source_rid is already present. Raises
  // SDException when the entry cannot be allocated.
  bool Add(uint32_t source_rid, uint32_t target_rid);
  std::optional<uint32_t> Lookup(uint32_t source_rid) const override;
  // The table through LogInfo, bucket by bucket in ascending source RIDs.
  void Dump() const;
  uint32_t count() const;
  void Clear();

 private:
  struct Entry {
    uint32_t source;
    uint32_t target;
  };

  mutable std::mutex mutex_;
  // Bucket source RID mod kBuckets, sorted by source RID.
  std::array<std::vector<Entry>, kBuckets> buckets_;
  uint32_t count_ = 0;
};

// The process-wide table.
RidTranslator& TheRidTranslator();

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_RID_TRANSLATOR_H_
