// PosixOs: the SMB2 server-side copy requests.
#include "platform/posix/posix_os.h"

namespace tarvik {

NTSTATUS PosixOs::NtFsControlFile(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK* io_status, ULONG,
                                  void*, ULONG, void*, ULONG) {
  if (io_status != nullptr)
    *io_status = {STATUS_INVALID_DEVICE_REQUEST, 0};
  return STATUS_INVALID_DEVICE_REQUEST;
}

}  // namespace tarvik
