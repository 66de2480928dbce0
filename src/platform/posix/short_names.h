// 8.3 aliases, for volumes that keep them.
#ifndef TARVIK_PLATFORM_POSIX_SHORT_NAMES_H_
#define TARVIK_PLATFORM_POSIX_SHORT_NAMES_H_

#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// True for a name that needs no alias: one to eight characters, optionally a
// dot and one to three more, each a letter (either case), a digit or one of
// $ % ' - _ @ ~ ` ! ( ) { } ^ # &.
bool IsValidShortName(std::wstring_view name);

// The aliases of the names of one directory, made as NTFS makes them
// ("Program Files" -> "PROGRA~1", "a.b.config.json" -> "ABCONF~1.JSO"): an
// empty one for a name that is valid as it is and for "." and "..". The
// numbers are given in the order of names, each the lowest that clashes
// neither with an alias already given nor with a valid name of the
// directory; from ~10 on the base shrinks to keep eight characters. A name
// without a free number (a million aliases of one stem) gets no alias.
std::vector<std::wstring> ShortNamesFor(const std::vector<std::wstring>& names);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_SHORT_NAMES_H_
