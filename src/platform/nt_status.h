// The native calls answer NTSTATUS values and leave the thread's last error
// alone; the program reasons in system error codes. One table serves both
// directions, for the statuses the program meets.
#ifndef TARVIK_PLATFORM_NT_STATUS_H_
#define TARVIK_PLATFORM_NT_STATUS_H_

#include "platform/win_types.h"

namespace tarvik {

// The system error a status stands for; ERROR_GEN_FAILURE for a failure
// the table does not know. A broken or timed-out connection maps to one of
// the errors after which the engine opens its files again, so that a copy
// interrupted that way restarts instead of being retried on dead handles.
DWORD Win32ErrorFromNtStatus(NTSTATUS status);

// The status a native call answers for a system error (the first status of
// the table that maps to it); STATUS_UNSUCCESSFUL for an error it does not
// know.
NTSTATUS NtStatusFromWin32Error(DWORD error);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_NT_STATUS_H_
