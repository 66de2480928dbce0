#include "log/system_report.h"

#include <algorithm>
#include <iterator>

#include "log/log.h"
#include "platform/os.h"

namespace tarvik {
namespace {

bool IsWorkstation(const OSVERSIONINFOEXW& version) {
  return version.wProductType == VER_NT_WORKSTATION;
}

bool HasSuite(const OSVERSIONINFOEXW& version, WORD suite) {
  return (version.wSuiteMask & suite) != 0;
}

// The edition names of GetProductInfo; other values name nothing.
const wchar_t* EditionName(DWORD product) {
  switch (product) {
    case 1:
      return L"Ultimate Edition";
    case 2:
      return L"Home Basic Edition";
    case 3:
      return L"Home Premium Edition";
    case 4:
    case 10:
      return L"Enterprise Edition";
    case 6:
      return L"Business Edition";
    case 7:
      return L"Standard Edition";
    case 8:
      return L"Datacenter Edition";
    case 9:
      return L"Small Business Server";
    case 11:
      return L"Starter Edition";
    case 12:
      return L"Datacenter Edition (core installation)";
    case 13:
      return L"Standard Edition (core installation)";
    case 14:
      return L"Enterprise Edition (core installation)";
    case 15:
      return L"Enterprise Edition for Itanium-based Systems";
    case 17:
      return L"Web Server Edition";
    case 18:
      return L"Cluster Server Edition";
    case 25:
      return L"Small Business Server Premium Edition";
  }
  return L"";
}

const wchar_t* ArchitectureSuffix(WORD architecture) {
  switch (architecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      return L", AMD 64-bit";
    case PROCESSOR_ARCHITECTURE_IA64:
      return L", 64-bit";
    case PROCESSOR_ARCHITECTURE_INTEL:
      return L", 32-bit";
  }
  return L"";
}

// Version 6: Vista, Server 2008 and Seven with their edition and word size.
// False for a later minor version, which has no name here.
bool NameVersion6(const OSVERSIONINFOEXW& version, WORD architecture, std::wstring* text) {
  if (version.dwMinorVersion == 0)
    *text += IsWorkstation(version) ? L"Windows Vista " : L"Windows Server 2008 ";
  else if (version.dwMinorVersion == 1)
    *text += L"Windows Seven ";
  else
    return false;
  // The edition of the first release that has editions, as the system
  // reports it for any later one.
  DWORD product = PRODUCT_UNDEFINED;
  if (Os::Current().GetProductInfo(6, 0, 0, 0, &product))
    *text += EditionName(product);
  *text += ArchitectureSuffix(architecture);
  return true;
}

const wchar_t* Server2003Edition(const OSVERSIONINFOEXW& version, WORD architecture) {
  if (architecture == PROCESSOR_ARCHITECTURE_IA64) {
    if (HasSuite(version, VER_SUITE_DATACENTER))
      return L"Datacenter Edition for Itanium-based Systems";
    if (HasSuite(version, VER_SUITE_ENTERPRISE))
      return L"Enterprise Edition for Itanium-based Systems";
    return L"";
  }
  if (architecture == PROCESSOR_ARCHITECTURE_AMD64) {
    if (HasSuite(version, VER_SUITE_DATACENTER))
      return L"Datacenter x64 Edition";
    if (HasSuite(version, VER_SUITE_ENTERPRISE))
      return L"Enterprise x64 Edition";
    return L"Standard x64 Edition";
  }
  if (HasSuite(version, VER_SUITE_COMPUTE_SERVER))
    return L"Compute Cluster Edition";
  if (HasSuite(version, VER_SUITE_DATACENTER))
    return L"Datacenter Edition";
  if (HasSuite(version, VER_SUITE_ENTERPRISE))
    return L"Enterprise Edition";
  if (HasSuite(version, VER_SUITE_BLADE))
    return L"Web Edition";
  return L"Standard Edition";
}

// Version 5.2: Server 2003 (R2, Storage Server) and XP x64.
void NameVersion52(const OSVERSIONINFOEXW& version, WORD architecture, std::wstring* text) {
  if (Os::Current().GetSystemMetrics(SM_SERVERR2) != 0)
    *text += L"Windows Server 2003 R2, ";
  else if (HasSuite(version, VER_SUITE_STORAGE_SERVER))
    *text += L"Windows Storage Server 2003";
  else if (IsWorkstation(version) && architecture == PROCESSOR_ARCHITECTURE_AMD64)
    *text += L"Windows XP Professional x64 Edition";
  else
    *text += L"Windows Server 2003, ";
  if (!IsWorkstation(version))
    *text += Server2003Edition(version, architecture);
}

void NameVersion51(const OSVERSIONINFOEXW& version, std::wstring* text) {
  *text += L"Windows XP ";
  *text += HasSuite(version, VER_SUITE_PERSONAL) ? L"Home Edition" : L"Professional";
}

void NameVersion50(const OSVERSIONINFOEXW& version, std::wstring* text) {
  *text += L"Windows 2000 ";
  if (IsWorkstation(version))
    *text += L"Professional";
  else if (HasSuite(version, VER_SUITE_DATACENTER))
    *text += L"Datacenter Server";
  else if (HasSuite(version, VER_SUITE_ENTERPRISE))
    *text += L"Advanced Server";
  else
    *text += L"Server";
}

// The name of the release, appended to "Microsoft "; nothing for a version
// the program does not know.
void NameRelease(const OSVERSIONINFOEXW& version, WORD architecture, std::wstring* text) {
  if (version.dwMajorVersion == 6) {
    NameVersion6(version, architecture, text);
    return;
  }
  if (version.dwMajorVersion != 5)
    return;
  if (version.dwMinorVersion == 2)
    NameVersion52(version, architecture, text);
  else if (version.dwMinorVersion == 1)
    NameVersion51(version, text);
  else if (version.dwMinorVersion == 0)
    NameVersion50(version, text);
}

}  // namespace

bool DescribeOperatingSystem(std::wstring* text) {
  text->clear();
  Os& os = Os::Current();
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!os.GetVersionExW(&version))
    return false;
  SYSTEM_INFO system{};
  os.GetNativeSystemInfo(&system);
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 5) {
    LogText(L"This sample does not support this version of Windows.\n");
    return false;
  }
  *text = L"Microsoft ";
  NameRelease(version, system.wProcessorArchitecture, text);
  // The text ends at its NUL, or at the end of its field when a system
  // filled the field without one.
  const wchar_t* service_pack = version.szCSDVersion;
  const wchar_t* end =
      std::find(service_pack, service_pack + std::size(version.szCSDVersion), L'\0');
  if (end != service_pack)
    *text += L" " + std::wstring(service_pack, end);
  *text += Format(L" (build %d)", static_cast<int32_t>(version.dwBuildNumber));
  if (text->size() > kMaxSystemDescription)
    text->resize(kMaxSystemDescription);
  return true;
}

}  // namespace tarvik
