// SidMapTable: what the SID map file says about source SIDs, keyed by their
// decimal text form. One table serves the process: the translator
// initialisation fills it while no worker runs, then every worker looks up
// in it at once, under its lock.
#ifndef TARVIK_TRANSLATE_SID_MAP_TABLE_H_
#define TARVIK_TRANSLATE_SID_MAP_TABLE_H_

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "common/sid.h"
#include "translate/translation_tables.h"

namespace tarvik {

class SidMapTable : public SidMapLookup {
 public:
  // A copy of the entry for source; nothing for a SID the table does not
  // name, or an invalid one.
  std::optional<SidMapEntry> Find(const SId& source) const override;
  bool Contains(const SId& source) const;
  // Adds the entry for source (a valid SID). False, and the entry already
  // there stays, when source has one: the first word on a SID counts.
  bool Insert(const SId& source, SidMapEntry entry);
  size_t size() const;
  // Forgets every entry, before the table is filled again.
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::wstring, SidMapEntry> entries_;
};

SidMapTable& TheSidMapTable();

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_SID_MAP_TABLE_H_
