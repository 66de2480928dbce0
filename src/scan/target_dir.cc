#include "scan/target_dir.h"

#include "util/text.h"

namespace tarvik {

TargetDir::TargetDir() = default;

void TargetDir::AddEntry(std::unique_ptr<FindData> entry) {
  std::wstring key = ToLowerAscii(entry->LongName());
  const bool directory = entry->IsDirectory();
  EntryMap& map = directory ? dir_map : file_map;
  // A listing sizes its maps when it fills them: the state a worker builds
  // for one handed-over file holds one entry at most, and would spend more
  // on empty buckets than on the file.
  if (map.empty())
    map.reserve(directory ? kDirMapBuckets : kFileMapBuckets);
  map[std::move(key)] = std::move(entry);
}

namespace {

std::unique_ptr<FindData> TakeFrom(TargetDir::EntryMap& map, const std::wstring& key) {
  auto it = map.find(key);
  if (it == map.end())
    return nullptr;
  std::unique_ptr<FindData> entry = std::move(it->second);
  map.erase(it);
  return entry;
}

FindData* FindIn(const TargetDir::EntryMap& map, const std::wstring& key) {
  auto it = map.find(key);
  return it == map.end() ? nullptr : it->second.get();
}

}  // namespace

std::unique_ptr<FindData> TargetDir::TakeFile(const std::wstring& key) {
  return TakeFrom(file_map, key);
}

std::unique_ptr<FindData> TargetDir::TakeDirectory(const std::wstring& key) {
  return TakeFrom(dir_map, key);
}

FindData* TargetDir::FindFile(const std::wstring& key) const {
  return FindIn(file_map, key);
}

FindData* TargetDir::FindDirectory(const std::wstring& key) const {
  return FindIn(dir_map, key);
}

}  // namespace tarvik
