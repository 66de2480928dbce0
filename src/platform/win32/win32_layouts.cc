// Win32Os passes tarvik's records to the system as they are: each must have
// the system's size, and the fields that the code reads the system's offset.
#include <cstddef>

#include "platform/account_types.h"
#include "platform/os.h"
#include "platform/win_types.h"

#include "platform/win32/windows_api.h"

namespace tarvik {
namespace {

#define TARVIK_SAME_SIZE(type) \
  static_assert(sizeof(tarvik::type) == sizeof(::type), #type " differs from the system's")
#define TARVIK_SAME_OFFSET(type, field)                                   \
  static_assert(offsetof(tarvik::type, field) == offsetof(::type, field), \
                #type "::" #field " differs from the system's")

static_assert(sizeof(wchar_t) == 2, "the system's wide characters are UTF-16 units");
static_assert(sizeof(tarvik::DWORD) == sizeof(::DWORD) && sizeof(tarvik::LONG) == sizeof(::LONG));
static_assert(sizeof(tarvik::BOOL) == sizeof(::BOOL) && sizeof(tarvik::HANDLE) == sizeof(::HANDLE));

TARVIK_SAME_SIZE(FILETIME);
TARVIK_SAME_SIZE(LARGE_INTEGER);
TARVIK_SAME_SIZE(ULARGE_INTEGER);
TARVIK_SAME_SIZE(OVERLAPPED);
TARVIK_SAME_OFFSET(OVERLAPPED, Offset);
TARVIK_SAME_OFFSET(OVERLAPPED, OffsetHigh);
TARVIK_SAME_OFFSET(OVERLAPPED, hEvent);
TARVIK_SAME_SIZE(WIN32_FIND_DATAW);
TARVIK_SAME_OFFSET(WIN32_FIND_DATAW, nFileSizeHigh);
TARVIK_SAME_OFFSET(WIN32_FIND_DATAW, dwReserved0);
TARVIK_SAME_OFFSET(WIN32_FIND_DATAW, cFileName);
TARVIK_SAME_OFFSET(WIN32_FIND_DATAW, cAlternateFileName);
TARVIK_SAME_SIZE(BY_HANDLE_FILE_INFORMATION);
TARVIK_SAME_OFFSET(BY_HANDLE_FILE_INFORMATION, nFileIndexLow);
TARVIK_SAME_SIZE(SECURITY_ATTRIBUTES);
TARVIK_SAME_OFFSET(SECURITY_ATTRIBUTES, lpSecurityDescriptor);
TARVIK_SAME_OFFSET(SECURITY_ATTRIBUTES, bInheritHandle);
TARVIK_SAME_SIZE(IO_STATUS_BLOCK);
TARVIK_SAME_OFFSET(IO_STATUS_BLOCK, Information);
TARVIK_SAME_SIZE(SYSTEM_INFO);
TARVIK_SAME_OFFSET(SYSTEM_INFO, dwPageSize);
TARVIK_SAME_OFFSET(SYSTEM_INFO, dwNumberOfProcessors);
TARVIK_SAME_OFFSET(SYSTEM_INFO, wProcessorRevision);
TARVIK_SAME_SIZE(OSVERSIONINFOEXW);
TARVIK_SAME_OFFSET(OSVERSIONINFOEXW, szCSDVersion);
TARVIK_SAME_OFFSET(OSVERSIONINFOEXW, wProductType);
TARVIK_SAME_SIZE(ACL);
TARVIK_SAME_SIZE(SECURITY_DESCRIPTOR);
TARVIK_SAME_OFFSET(SECURITY_DESCRIPTOR, Dacl);
TARVIK_SAME_SIZE(SECURITY_DESCRIPTOR_RELATIVE);
TARVIK_SAME_SIZE(LUID);
TARVIK_SAME_SIZE(LUID_AND_ATTRIBUTES);
TARVIK_SAME_SIZE(SID_AND_ATTRIBUTES);
TARVIK_SAME_SIZE(TOKEN_PRIVILEGES);
TARVIK_SAME_OFFSET(TOKEN_PRIVILEGES, Privileges);
TARVIK_SAME_SIZE(TOKEN_GROUPS);
TARVIK_SAME_OFFSET(TOKEN_GROUPS, Groups);
TARVIK_SAME_SIZE(TOKEN_USER);
TARVIK_SAME_SIZE(SID_NAME_USE);
TARVIK_SAME_SIZE(TOKEN_INFORMATION_CLASS);

// The values tarvik names as the system does.
static_assert(int{tarvik::FileStreamInformation} == int{::FileStreamInformation});
static_assert(int{tarvik::TokenPrivileges} == int{::TokenPrivileges});
static_assert(int{tarvik::SidTypeComputer} == int{::SidTypeComputer});
static_assert(tarvik::kFileStreamInformationHeaderSize ==
              offsetof(::FILE_STREAM_INFORMATION, StreamName));

#undef TARVIK_SAME_SIZE
#undef TARVIK_SAME_OFFSET

}  // namespace
}  // namespace tarvik
