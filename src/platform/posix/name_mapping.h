// Host file names that Windows could not show. A host name may hold
// characters a Windows name must not (\ : * ? " < > | and control
// characters), and may end with a dot or a blank, which Windows drops from a
// name. Such a character is shown moved into the private-use range U+F001 to
// U+F029 (the mapping of Samba's "catia"/"fruit" modules and of macOS), and
// moved back when the program names the file, so that no name is lost or
// misread as a stream.
#ifndef TARVIK_PLATFORM_POSIX_NAME_MAPPING_H_
#define TARVIK_PLATFORM_POSIX_NAME_MAPPING_H_

#include <string>
#include <string_view>

namespace tarvik {

// The name a listing shows for a host name (UTF-8).
std::wstring WindowsNameFromHost(std::string_view host_name);

// The host name (UTF-8) behind a name the program gives.
std::string HostNameFromWindows(std::wstring_view windows_name);
// The same, appended to *out.
void AppendHostName(std::string* out, std::wstring_view windows_name);

// True when the name holds a character of the private-use range above.
bool HasMappedCharacters(std::wstring_view windows_name);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_NAME_MAPPING_H_
