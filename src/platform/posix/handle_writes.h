// What data written through a file handle does to the times set through it.
// As on NTFS, a time set through a handle stays put while the handle writes;
// every call that changes a file's data through a handle (writes, space
// reservation, the server-side copy) reports the change here.
#ifndef TARVIK_PLATFORM_POSIX_HANDLE_WRITES_H_
#define TARVIK_PLATFORM_POSIX_HANDLE_WRITES_H_

#include "platform/posix/handle_table.h"

namespace tarvik {

// Puts the times set through the handle back on the host object.
void PutBackSetTimes(const HandleObject& object);

// After data was written or space reserved through the handle, which moved
// the host's times. A file whose last-write time is recorded while it is
// written shows that time anyway: its host time is put back once, when the
// handle closes.
void WroteThrough(HandleObject& object);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_HANDLE_WRITES_H_
