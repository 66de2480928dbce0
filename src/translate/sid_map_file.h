// The SID map file (/sidmapfile): its lines, read from the file and handed
// to a SidMapReader (sid_map_records.h describes the records).
//
// A line ends at a line feed; carriage returns are dropped wherever they
// stand, and the last line needs no line feed. A line is UTF-8 text, or, when
// it is not valid UTF-8, one character per byte. Lines are numbered from 1,
// every line counted, as the messages show them.
#ifndef TARVIK_TRANSLATE_SID_MAP_FILE_H_
#define TARVIK_TRANSLATE_SID_MAP_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "translate/sid_map_records.h"

namespace tarvik {

// No record is this long; a longer line is reported, not kept whole.
constexpr size_t kMaxSidMapLineBytes = 4096;

// Reads every line of the file at path into reader. False, with the reason
// logged, when the file cannot be opened or read to its end.
bool LoadSidMapFile(const std::wstring& path, SidMapReader* reader);

// The same over the bytes of a whole file.
void ReadSidMapText(std::string_view bytes, SidMapReader* reader);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_SID_MAP_FILE_H_
