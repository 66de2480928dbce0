#include "translate/sid_map_table.h"

#include <utility>

namespace tarvik {

std::optional<SidMapEntry> SidMapTable::Find(const SId& source) const {
  if (!source.IsValid())
    return std::nullopt;
  const std::wstring& key = source.ToString();
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end())
    return std::nullopt;
  return it->second;
}

bool SidMapTable::Contains(const SId& source) const {
  return Find(source).has_value();
}

bool SidMapTable::Insert(const SId& source, SidMapEntry entry) {
  if (!source.IsValid())
    return false;
  // Memoised now, while one thread fills the table: a copy made by Find
  // then only reads the stored SID.
  entry.target.ToString();
  std::wstring key = source.ToString();
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.emplace(std::move(key), std::move(entry)).second;
}

size_t SidMapTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

void SidMapTable::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

SidMapTable& TheSidMapTable() {
  // Never destroyed: workers may still look up while the process ends.
  static SidMapTable* table = new SidMapTable;
  return *table;
}

}  // namespace tarvik
