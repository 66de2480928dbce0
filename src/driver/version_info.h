// The program's identity, compiled in where the platform would read it from a
// version resource.
#ifndef TARVIK_DRIVER_VERSION_INFO_H_
#define TARVIK_DRIVER_VERSION_INFO_H_

#include <cstdint>
#include <string>

namespace tarvik {

struct VersionInfo {
  bool valid = false;
  std::wstring internalName;
  std::wstring fileDescription;
  std::wstring productName;
  std::wstring legalNotice;
  std::wstring versionText;
  std::wstring buildDate;  // "Nov 29 2016"
  std::wstring buildTime;  // "08:48:31"
};

VersionInfo ReadVersionInfo();

// The short version text of a file version given as its two 32-bit words
// (major.minor and third.fourth): 4.20.2.0 gives "4.20-0002" and 4.20.0.3
// gives "4.20-00000003".
std::wstring VersionText(uint32_t most_significant, uint32_t least_significant);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_VERSION_INFO_H_
