// TargetDir: the target side of one directory on the walk stack. Its maps
// hold the target's entries not yet matched with a source entry, keyed by
// the lower-cased name; what is left once the source directory is done has
// no source counterpart.
#ifndef TARVIK_SCAN_TARGET_DIR_H_
#define TARVIK_SCAN_TARGET_DIR_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/find_data.h"

namespace tarvik {

// The copy engine's reference count of the tasks still inside one target
// directory. A TargetDir points at it; the chain of DirRefs owns itself.
class DirRef;

// Flag bit: the target directory existed before this run reached it.
constexpr uint32_t kTargetDirExisted = 0x1;
// Flag bit: the target directory is, or lies below, a link (symbolic link,
// junction) found where the source has a real directory. What it holds may
// lie outside the target tree: nothing in it is ever purged.
constexpr uint32_t kTargetDirBehindLink = 0x4;
// Flag bit: an extra target directory being purged; it holds entry lists
// instead of maps.
constexpr uint32_t kTargetDirPurged = 0x8;

struct TargetDir {
  using EntryMap = std::unordered_map<std::wstring, std::unique_ptr<FindData>>;
  using EntryList = std::vector<std::unique_ptr<FindData>>;

  static constexpr size_t kFileMapBuckets = 1000;
  static constexpr size_t kDirMapBuckets = 100;

  TargetDir();
  TargetDir(const TargetDir&) = delete;
  TargetDir& operator=(const TargetDir&) = delete;

  bool existed() const { return (flags & kTargetDirExisted) != 0; }

  // Files go to the file map, directories to the directory map, under the
  // lower-cased long name. An entry under the same key replaces the old one.
  void AddEntry(std::unique_ptr<FindData> entry);
  // Removes and returns the entry stored under key; null when there is none.
  std::unique_ptr<FindData> TakeFile(const std::wstring& key);
  std::unique_ptr<FindData> TakeDirectory(const std::wstring& key);
  FindData* FindFile(const std::wstring& key) const;
  FindData* FindDirectory(const std::wstring& key) const;

  TargetDir* parent = nullptr;  // not owned; null at the top of a walk
  uint32_t flags = 0;
  uint32_t reserved = 0;
  DirRef* dir_ref = nullptr;  // not owned (the copy engine's); null in a plain comparison
  std::unique_ptr<FindData> own_entry;
  // The source name for a descended directory, the name found on the target
  // for the top of a walk.
  std::wstring name;
  EntryMap file_map;
  EntryMap dir_map;
  // Used instead of the maps by the purge of an extra target directory.
  EntryList sub_dir_list;
  EntryList file_list;
};

}  // namespace tarvik

#endif  // TARVIK_SCAN_TARGET_DIR_H_
