// FindData: one directory entry as the walk and the comparison see it: the
// platform's find record plus the keys under which the entry is sorted and
// matched with its counterpart on the other side.
#ifndef TARVIK_SCAN_FIND_DATA_H_
#define TARVIK_SCAN_FIND_DATA_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

// Attribute bit of a target directory-map entry whose directory was not on
// the target when the walk reached it (just created, or only announced). It
// is cleared before the entry is used as a real directory.
constexpr DWORD kPlaceholderMark = 0x10000000;

// The platform's find record without its fixed name buffers, which would make
// most of the memory of a large directory held for sorting (over 1 KB an
// entry): the names are kept at their own length.
struct FindRecord {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime{};
  FILETIME ftLastAccessTime{};
  FILETIME ftLastWriteTime{};
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  DWORD dwReserved0 = 0;  // the reparse tag of a reparse point
  std::wstring long_name;
  std::wstring short_name;

  FindRecord() = default;
  FindRecord(const WIN32_FIND_DATAW& data) { *this = data; }  // NOLINT: a record is a find record
  FindRecord& operator=(const WIN32_FIND_DATAW& data);
};

struct FindData {
  FindRecord data;
  // The long name cut before its last '.', lower-cased: the sort key.
  std::wstring SortName;
  // The whole long name, lower-cased: the key of every lookup between the
  // source and the target.
  std::wstring NameKey;
  // 1 when the entry is handled before its siblings: its name looks like a
  // generated 8.3 alias, which must exist on the target before any long name
  // whose own alias could take it.
  uint32_t ShortNameFirst = 0;

  std::wstring_view LongName() const;
  std::wstring_view ShortName() const;
  // Stores a name (cut to what the record holds) and clears the short name.
  void SetLongName(std::wstring_view name);

  DWORD attributes() const { return data.dwFileAttributes; }
  bool IsDirectory() const { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsReparsePoint() const {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }
  bool IsPlaceholder() const { return (data.dwFileAttributes & kPlaceholderMark) != 0; }
  // The reparse tag of a reparse point.
  DWORD ReparseTag() const { return data.dwReserved0; }
  // True when the reparse tag has every bit of tag set.
  bool HasReparseTag(DWORD tag) const { return IsReparsePoint() && (ReparseTag() & tag) == tag; }
  uint64_t FileSize() const {
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  int64_t LastWriteTime() const {
    return static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                data.ftLastWriteTime.dwLowDateTime);
  }
  // "." and "..", which every listing holds and the walk drops.
  bool IsDotOrDotDot() const;

  // NameKey from the long name; the only naming of unsorted reading.
  void MakeNameKey();
  // NameKey, SortName and ShortNameFirst; the naming of sorted reading.
  void MakeSortKeys();
};

// The order of sorted reading: ShortNameFirst entries first, then SortName
// as 16-bit code units, ascending. Entries with equal keys are unordered.
bool SortsBefore(const FindData& a, const FindData& b);

}  // namespace tarvik

#endif  // TARVIK_SCAN_FIND_DATA_H_
