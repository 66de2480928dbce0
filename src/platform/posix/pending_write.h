// Files whose writing has not ended, kept so that a process dying at any
// instant leaves them recognisable.
//
// On NTFS a last-write time set through a handle stays put while the handle
// writes, and a copy leaves its target marked as unfinished that way until it
// sets the real times. The host moves a file's modification time on every
// write, and putting the chosen time back after each write leaves instants in
// which a killed process would leave a half-written file that looks finished.
// So the state is kept where no write can move it:
//
// - the host mode's sticky bit, meaningless on a Linux file, says that the
//   file's writing has not ended. A file made by CreateFileW is born with it
//   (it is in the mode given to the creation itself), and a file truncated by
//   CreateFileW gets it before its data goes;
// - user.tarvik.pwt (8 bytes, an NT time, little-endian) holds the
//   last-write time set through a handle that may write the file. The name
//   is short so that the record fits in the inode beside the DOS attributes
//   on ext4 (256-byte inodes): a record that spills into a block of its own
//   costs a block allocated and freed, with a discard, for every file copied.
//   A record under the longer name of earlier versions is not read: its file
//   shows 0 and is copied again.
//
// While the bit is set the file's last-write time reads as the recorded time,
// or as 0 (1601-01-01) when none is recorded: older than any source, so an
// incremental run copies it again. The bit and the record go when a handle
// that wrote data, reserved space or recorded a time through itself is
// closed (after the host time has been put where the handle left it), or when
// a last-write time is set through a handle that may not write the data (the
// final times of a finished copy). A file made or truncated and closed with
// nothing written (a copy's placeholder, made with its security before its
// data) stays pending: its content is still to come.
#ifndef TARVIK_PLATFORM_POSIX_PENDING_WRITE_H_
#define TARVIK_PLATFORM_POSIX_PENDING_WRITE_H_

#include <sys/stat.h>

#include <cstdint>

#include "platform/posix/host_object.h"

namespace tarvik {

constexpr char kPendingWriteTimeName[] = "user.tarvik.pwt";
constexpr mode_t kWritePendingBit = S_ISVTX;

// Whether a host object of this mode is a file whose writing has not ended.
inline bool IsWritePending(mode_t mode) {
  return S_ISREG(mode) && (mode & kWritePendingBit) != 0;
}

// The last-write time to show for a pending file: the recorded time, or 0.
// *recorded tells whether one was.
uint64_t PendingWriteTime(const HostObject& file, bool* recorded);

// Sets the bit on the file. 0 or an errno.
int BeginPendingWrite(const HostObject& file);
// Records time as the file's last-write time while it is pending. 0 or an errno.
int RecordPendingWriteTime(const HostObject& file, uint64_t time);
// Removes the record. 0 or an errno (ENODATA: there was none).
int RemovePendingWriteTime(const HostObject& file);
// Clears the bit and, when removes_record and the bit was set, removes the
// record; nothing for a file that was not pending. 0 or an errno.
int EndPendingWrite(const HostObject& file, bool removes_record);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_PENDING_WRITE_H_
