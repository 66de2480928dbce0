// The system's own headers, for the files that call the Win32 API. Their
// macros (TRUE, MAX_PATH, INVALID_HANDLE_VALUE, ERROR_*, CreateFile, ...)
// would rewrite tarvik's constants of the same names, so a file includes this
// header after every other one, in an include block of its own. From there
// on an unqualified ERROR_SUCCESS is the system's macro, of the same value as
// tarvik's; tarvik's records are named tarvik::X and the system's ::X.
#ifndef TARVIK_PLATFORM_WIN32_WINDOWS_API_H_
#define TARVIK_PLATFORM_WIN32_WINDOWS_API_H_

#ifndef _WIN32
#error "platform/win32 is part of the Windows build only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// These need windows.h's types.
#include <dsgetdc.h>
#include <lm.h>
#include <winnetwk.h>
#include <winternl.h>

// Not in MinGW's headers: the true version record, whatever the
// compatibility manifest says (ntdll).
extern "C" NTSYSAPI NTSTATUS NTAPI RtlGetVersion(PRTL_OSVERSIONINFOW version_information);

#endif  // TARVIK_PLATFORM_WIN32_WINDOWS_API_H_
