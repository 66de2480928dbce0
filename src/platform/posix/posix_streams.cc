// PosixOs: named data streams, kept as Samba's streams_xattr keeps them.
#include "platform/posix/posix_os.h"

namespace tarvik {

NTSTATUS PosixOs::NtQueryInformationFile(HANDLE, IO_STATUS_BLOCK* io_status, void*, ULONG,
                                         FILE_INFORMATION_CLASS) {
  if (io_status != nullptr)
    *io_status = {STATUS_NOT_SUPPORTED, 0};
  return STATUS_NOT_SUPPORTED;
}

}  // namespace tarvik
