// The Windows types, constants and records that the Os interface speaks in.
// Values are the published ones so that code reads like the calls it stands for.
#ifndef TARVIK_PLATFORM_WIN_TYPES_H_
#define TARVIK_PLATFORM_WIN_TYPES_H_

#include <cstddef>
#include <cstdint>

namespace tarvik {

using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = uint32_t;
using ULONGLONG = uint64_t;
using LONGLONG = int64_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// An opaque handle. Handles are small positive integers in disguise; the
// two reserved values below match the platform's.
using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

struct LARGE_INTEGER {
  LONGLONG QuadPart;
};

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct ULARGE_INTEGER {
  ULONGLONG QuadPart;
};

// Positioned I/O: the offset of a ReadFile or WriteFile call. The program
// does no asynchronous I/O, so the event and status words stay unused.
struct OVERLAPPED {
  uintptr_t Internal;
  uintptr_t InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

constexpr DWORD MAX_PATH = 260;

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;  // the reparse tag when FILE_ATTRIBUTE_REPARSE_POINT is set
  DWORD dwReserved1;
  wchar_t cFileName[MAX_PATH];
  wchar_t cAlternateFileName[14];
};

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};

// Standard handles.
constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

// Console modes and text attributes.
constexpr DWORD ENABLE_QUICK_EDIT_MODE = 0x0040;
constexpr DWORD ENABLE_EXTENDED_FLAGS = 0x0080;
constexpr WORD FOREGROUND_BLUE = 0x0001;
constexpr WORD FOREGROUND_GREEN = 0x0002;
constexpr WORD FOREGROUND_RED = 0x0004;
constexpr WORD FOREGROUND_INTENSITY = 0x0008;

// Error modes.
constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

// Access rights.
constexpr DWORD DELETE = 0x00010000;
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD WRITE_DAC = 0x00040000;
constexpr DWORD WRITE_OWNER = 0x00080000;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD ACCESS_SYSTEM_SECURITY = 0x01000000;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD FILE_READ_DATA = 0x0001;
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_READ_EA = 0x0008;
constexpr DWORD FILE_WRITE_EA = 0x0010;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x0100;

// Sharing modes.
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

// Creation dispositions.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

// File attributes.
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x00000100;
constexpr DWORD FILE_ATTRIBUTE_SPARSE_FILE = 0x00000200;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x00000400;
constexpr DWORD FILE_ATTRIBUTE_COMPRESSED = 0x00000800;
constexpr DWORD FILE_ATTRIBUTE_OFFLINE = 0x00001000;
constexpr DWORD FILE_ATTRIBUTE_NOT_CONTENT_INDEXED = 0x00002000;
constexpr DWORD FILE_ATTRIBUTE_ENCRYPTED = 0x00004000;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// File flags.
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;

// File pointer origins.
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

// Reparse tags (dwReserved0 of a find record, and reparse buffers).
constexpr DWORD IO_REPARSE_TAG_MOUNT_POINT = 0xA0000003;
constexpr DWORD IO_REPARSE_TAG_SYMLINK = 0xA000000C;
constexpr DWORD IO_REPARSE_TAG_DFS = 0x8000000A;

// DeviceIoControl codes.
constexpr DWORD FSCTL_GET_COMPRESSION = 0x0009003C;
constexpr DWORD FSCTL_SET_COMPRESSION = 0x0009C040;
constexpr DWORD FSCTL_SET_REPARSE_POINT = 0x000900A4;
constexpr DWORD FSCTL_GET_REPARSE_POINT = 0x000900A8;
constexpr DWORD FSCTL_DELETE_REPARSE_POINT = 0x000900AC;
// Server-side copy (NtFsControlFile on a handle on an SMB2 share).
constexpr DWORD FSCTL_SRV_REQUEST_RESUME_KEY = 0x00140078;
constexpr DWORD FSCTL_SRV_COPYCHUNK = 0x001440F2;
constexpr WORD COMPRESSION_FORMAT_NONE = 0;
constexpr WORD COMPRESSION_FORMAT_DEFAULT = 1;
constexpr WORD COMPRESSION_FORMAT_LZNT1 = 2;
constexpr DWORD MAXIMUM_REPARSE_DATA_BUFFER_SIZE = 16 * 1024;

// REPARSE_DATA_BUFFER: an 8-byte header (tag, data length, reserved) and the
// tag's data. A symbolic link's data is four 16-bit offsets and lengths (in
// bytes, into the path buffer: substitute name, then print name), 32-bit
// flags, then the UTF-16 path buffer.
constexpr DWORD REPARSE_DATA_BUFFER_HEADER_SIZE = 8;
constexpr DWORD SYMLINK_REPARSE_DATA_HEADER_SIZE = 12;
constexpr DWORD SYMLINK_FLAG_RELATIVE = 0x00000001;

// The native calls' status codes and records.
using NTSTATUS = uint32_t;
using ULONG = uint32_t;
constexpr NTSTATUS STATUS_SUCCESS = 0x00000000;
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = 0x80000005;
constexpr NTSTATUS STATUS_UNSUCCESSFUL = 0xC0000001;
constexpr NTSTATUS STATUS_INVALID_INFO_CLASS = 0xC0000003;
constexpr NTSTATUS STATUS_INVALID_HANDLE = 0xC0000008;
constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = 0xC0000010;
constexpr NTSTATUS STATUS_INVALID_PARAMETER = 0xC000000D;
constexpr NTSTATUS STATUS_ACCESS_DENIED = 0xC0000022;
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = 0xC0000023;
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = 0xC0000034;
constexpr NTSTATUS STATUS_DISK_FULL = 0xC000007F;
constexpr NTSTATUS STATUS_NOT_SUPPORTED = 0xC00000BB;
constexpr NTSTATUS STATUS_INVALID_VIEW_SIZE = 0xC000001F;
constexpr NTSTATUS STATUS_END_OF_FILE = 0xC0000011;
constexpr NTSTATUS STATUS_NO_MEMORY = 0xC0000017;
constexpr NTSTATUS STATUS_SHARING_VIOLATION = 0xC0000043;
constexpr NTSTATUS STATUS_FILE_LOCK_CONFLICT = 0xC0000054;
constexpr NTSTATUS STATUS_MEDIA_WRITE_PROTECTED = 0xC00000A2;
constexpr NTSTATUS STATUS_IO_TIMEOUT = 0xC00000B5;
constexpr NTSTATUS STATUS_NETWORK_NAME_DELETED = 0xC00000C9;
constexpr NTSTATUS STATUS_BAD_NETWORK_NAME = 0xC00000CC;
constexpr NTSTATUS STATUS_VIRTUAL_CIRCUIT_CLOSED = 0xC00000D6;
constexpr NTSTATUS STATUS_IO_DEVICE_ERROR = 0xC0000185;
constexpr NTSTATUS STATUS_CONNECTION_DISCONNECTED = 0xC000020C;
constexpr NTSTATUS STATUS_CONNECTION_RESET = 0xC000020D;
constexpr NTSTATUS STATUS_NETWORK_UNREACHABLE = 0xC000023C;
constexpr NTSTATUS STATUS_CONNECTION_ABORTED = 0xC0000241;

struct IO_STATUS_BLOCK {
  NTSTATUS Status;
  uintptr_t Information;  // bytes returned
};

enum FILE_INFORMATION_CLASS : ULONG {
  FileStreamInformation = 22,
};

// One record of FileStreamInformation; records follow each other at
// NextEntryOffset (0 ends the list), each aligned on 8 bytes. The name is
// ":name:$DATA" (UTF-16, not terminated), "::$DATA" for the unnamed stream.
struct FILE_STREAM_INFORMATION {
  ULONG NextEntryOffset;
  ULONG StreamNameLength;  // bytes
  LARGE_INTEGER StreamSize;
  LARGE_INTEGER StreamAllocationSize;
  char16_t StreamName[1];
};
constexpr size_t kFileStreamInformationHeaderSize = 24;

// FSCTL_SRV_REQUEST_RESUME_KEY answers a 24-byte key, a context length
// and the context; FSCTL_SRV_COPYCHUNK takes the key, a chunk count, a
// reserved field and the chunks, and answers three counts. A server limits
// a request's chunk count, chunk size and total length; a request beyond
// them fails with STATUS_INVALID_PARAMETER and answers the limits instead.
constexpr size_t kResumeKeySize = 24;
struct SRV_COPYCHUNK {
  ULONGLONG SourceOffset;
  ULONGLONG TargetOffset;
  ULONG Length;
  ULONG Reserved;
};
struct SRV_COPYCHUNK_COPY {
  BYTE SourceFile[kResumeKeySize];
  ULONG ChunkCount;
  ULONG Reserved;
  SRV_COPYCHUNK Chunk[1];
};
constexpr size_t kCopyChunkHeaderSize = 32;
struct SRV_COPYCHUNK_RESPONSE {
  ULONG ChunksWritten;
  ULONG ChunkBytesWritten;
  ULONG TotalBytesWritten;
};

// GetSystemInfo. The OEM identifier is the union of the architecture and the
// reserved word in the platform's record.
struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  void* lpMinimumApplicationAddress;
  void* lpMaximumApplicationAddress;
  uintptr_t dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
  DWORD OemId() const { return wProcessorArchitecture | (static_cast<DWORD>(wReserved) << 16); }
};
constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_IA64 = 6;
constexpr WORD PROCESSOR_ARCHITECTURE_ARM64 = 12;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;
constexpr DWORD PROCESSOR_INTEL_386 = 386;
constexpr DWORD PROCESSOR_INTEL_IA64 = 2200;
constexpr DWORD PROCESSOR_AMD_X8664 = 8664;

// GetVersionExW. The record is only ever the extended one: its size field
// must be sizeof(OSVERSIONINFOEXW).
struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  wchar_t szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;
constexpr WORD VER_SUITE_ENTERPRISE = 0x0002;
constexpr WORD VER_SUITE_DATACENTER = 0x0080;
constexpr WORD VER_SUITE_PERSONAL = 0x0200;
constexpr WORD VER_SUITE_BLADE = 0x0400;
constexpr WORD VER_SUITE_STORAGE_SERVER = 0x2000;
constexpr WORD VER_SUITE_COMPUTE_SERVER = 0x4000;

// GetProductInfo: the edition of the system, for example
// PRODUCT_STANDARD_SERVER (7).
constexpr DWORD PRODUCT_UNDEFINED = 0;
constexpr DWORD PRODUCT_STANDARD_SERVER = 7;

// GetSystemMetrics: not 0 on the R2 release of a server system.
constexpr int SM_SERVERR2 = 89;

// Memory (VirtualAlloc, VirtualFree).
using SIZE_T = std::size_t;
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_READWRITE = 0x04;

// Drive types (GetDriveTypeW).
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

// FormatMessageW flags.
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD LANG_NEUTRAL_DEFAULT = 0x0400;  // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)

// Thread priorities.
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_HIGHEST = 2;

// Security descriptors: the parts a call reads or writes, the control bits,
// and the two layouts (absolute, with pointers to its parts, and
// self-relative, with offsets from its own start).
using SECURITY_INFORMATION = DWORD;
using SECURITY_DESCRIPTOR_CONTROL = WORD;
constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x00000001;
constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 0x00000002;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x00000004;
constexpr SECURITY_INFORMATION SACL_SECURITY_INFORMATION = 0x00000008;
constexpr SECURITY_INFORMATION LABEL_SECURITY_INFORMATION = 0x00000010;
constexpr SECURITY_INFORMATION ATTRIBUTE_SECURITY_INFORMATION = 0x00000020;
constexpr SECURITY_INFORMATION SCOPE_SECURITY_INFORMATION = 0x00000040;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_OWNER_DEFAULTED = 0x0001;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_GROUP_DEFAULTED = 0x0002;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PRESENT = 0x0004;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_DEFAULTED = 0x0008;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PRESENT = 0x0010;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_DEFAULTED = 0x0020;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERIT_REQ = 0x0100;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERIT_REQ = 0x0200;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERITED = 0x0400;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERITED = 0x0800;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PROTECTED = 0x1000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PROTECTED = 0x2000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_RM_CONTROL_VALID = 0x4000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SELF_RELATIVE = 0x8000;
constexpr BYTE SECURITY_DESCRIPTOR_REVISION = 1;

struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};

struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  void* Owner;
  void* Group;
  ACL* Sacl;
  ACL* Dacl;
};

struct SECURITY_DESCRIPTOR_RELATIVE {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  DWORD Owner;
  DWORD Group;
  DWORD Sacl;
  DWORD Dacl;
};

// File access rights as the generic rights map to them.
constexpr DWORD FILE_EXECUTE = 0x0020;
constexpr DWORD FILE_DELETE_CHILD = 0x0040;
constexpr DWORD FILE_GENERIC_READ = 0x00120089;
constexpr DWORD FILE_GENERIC_WRITE = 0x00120116;
constexpr DWORD FILE_GENERIC_EXECUTE = 0x001200A0;

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_WIN_TYPES_H_
