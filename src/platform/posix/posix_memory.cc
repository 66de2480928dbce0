// Memory the program asks for directly.
#include <cerrno>

#include "platform/posix/errno_map.h"
#include "platform/posix/posix_os.h"

namespace tarvik {

void* PosixOs::VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect) {
  // Only what the program uses: fresh committed read-write memory.
  if (address != nullptr || size == 0 || allocation_type != (MEM_COMMIT | MEM_RESERVE) ||
      protect != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* memory = memory_.Allocate(size);
  if (memory == nullptr)
    SetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ErrorFromErrno(errno));
  return memory;
}

BOOL PosixOs::VirtualFree(void* address, SIZE_T size, DWORD free_type) {
  if (free_type != MEM_RELEASE || size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!memory_.Release(address)) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  return TRUE;
}

}  // namespace tarvik
