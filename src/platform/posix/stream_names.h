// Named data streams in Windows paths and in the names of the extended
// attributes that hold them. A path's last component names a stream as
// "name:stream" or "name:stream:$DATA"; "name::$DATA" is the file's own
// data. The stream is kept in "user.DosStream.<stream>:$DATA", the name of
// Samba's streams_xattr, the stream name as given (its letter case kept).
#ifndef TARVIK_PLATFORM_POSIX_STREAM_NAMES_H_
#define TARVIK_PLATFORM_POSIX_STREAM_NAMES_H_

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

// Splits path into the file's path and the stream's name (empty when the
// path names the file itself), both parts of path. ERROR_INVALID_NAME for a
// stream type other than $DATA, a name holding ':' or an empty name without
// a type.
DWORD SplitStreamPath(std::wstring_view path, std::wstring_view* file, std::wstring_view* stream);

// The attribute that holds stream. ERROR_FILENAME_EXCED_RANGE when the
// name does not fit the host's limit on attribute names.
DWORD StreamAttributeName(std::wstring_view stream, std::string* attribute);

// The stream an attribute holds, as listings show it; false for attributes
// that hold no stream (an empty name would be the file's own data). A name
// written by another program may hold what a stream name cannot: ':' and
// '\' are shown moved to the private-use range (U+F022, U+F026, as file
// names are), '/' and bytes that are not UTF-8 as U+FFFD. Look-ups compare
// shown names, so such a stream is still read under the name shown.
bool StreamNameOfAttribute(std::string_view attribute, std::wstring* stream);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_STREAM_NAMES_H_
