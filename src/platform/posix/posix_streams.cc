// PosixOs: named data streams, kept as Samba's streams_xattr keeps them
// (stream_store.h): opening "file:stream", deleting it, and listing the
// streams of an open file or directory.
#include <cerrno>
#include <cstring>

#include "platform/nt_status.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/file_lookup.h"
#include "platform/posix/host_object.h"
#include "platform/posix/pending_write.h"
#include "platform/posix/posix_os.h"
#include "platform/posix/stream_names.h"
#include "platform/posix/stream_store.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

HANDLE FailHandle(DWORD error) {
  Os::SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

HostObject ObjectOf(const HandleObject& object) {
  return HostObject{object.host_path, object.is_link || object.path_only ? -1 : object.fd};
}

bool MakesStream(DWORD disposition) {
  return disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

// A read-only file refuses changes to its streams as to its data.
DWORD CheckReadOnly(const HostObject& file) {
  HostInfo info;
  int error = ReadHostInfo(file, &info);
  if (error != 0)
    return ErrorFromErrno(error);
  return (info.attributes & FILE_ATTRIBUTE_READONLY) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// What CreateFileW asked of a stream.
struct StreamRequest {
  DWORD access = 0;
  DWORD share_mode = 0;
  DWORD disposition = 0;
  DWORD flags = 0;
};

// The attribute of the stream named name on file, found or, where the
// disposition makes the stream, to be made; *existed tells which.
DWORD FindOrName(const HostObject& file, const std::wstring& name, DWORD disposition,
                 std::string* attribute, bool* existed) {
  int host_error = FindStream(file, name, attribute);
  if (host_error != 0 && host_error != ENODATA)
    return ErrorFromErrno(host_error);
  *existed = host_error == 0;
  if (*existed)
    return disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_SUCCESS;
  if (!MakesStream(disposition))
    return ERROR_FILE_NOT_FOUND;
  return StreamAttributeName(name, attribute);
}

// Opens the stream named name on the file open on object, as the request's
// disposition says: its value is read, or made empty, once the handle has
// its part in the stream's sharing.
DWORD OpenStreamOn(HandleObject& object, const std::wstring& name, const StreamRequest& request,
                   ShareTable& shares, bool* existed) {
  // user.* attributes cannot be set on a symbolic link.
  if (object.is_link)
    return ERROR_INVALID_FUNCTION;
  HostObject file = ObjectOf(object);
  std::string attribute;
  DWORD error = FindOrName(file, name, request.disposition, &attribute, existed);
  bool empties =
      !*existed || request.disposition == CREATE_ALWAYS || request.disposition == TRUNCATE_EXISTING;
  bool changes = empties || (request.access & kWriteRights) != 0 ||
                 (request.flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  if (error == ERROR_SUCCESS && changes)
    error = CheckReadOnly(file);
  if (error != ERROR_SUCCESS)
    return error;

  DWORD data_access = ShareTable::DataAccessOf(request.access, request.flags);
  if (data_access != 0) {
    // A file opened for its metadata alone has no descriptor: its path
    // names it.
    ShareTable::Key key;
    const bool keyed = object.fd >= 0 ? ShareTable::KeyOfDescriptor(object.fd, &key)
                                      : ShareTable::KeyOfPath(object.host_path, &key);
    if (!keyed)
      return ErrorFromErrno(errno);
    key.stream = attribute;
    if (!object.TakeShare(shares, key, data_access, request.share_mode))
      return ERROR_SHARING_VIOLATION;
  }
  std::string data;
  int host_error =
      empties ? WriteStream(file, attribute, data) : ReadStream(file, attribute, &data);
  if (host_error != 0)
    return host_error == ENODATA ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(host_error);
  object.stream = std::make_unique<StreamState>(std::move(attribute), std::move(data));
  return ERROR_SUCCESS;
}

// One FILE_STREAM_INFORMATION record to be.
struct StreamRecord {
  std::wstring name;  // ":name:$DATA", "::$DATA"
  uint64_t size = 0;
};

// The records of a file's streams: its own data first, none for a directory;
// the named ones only where the volume keeps them.
DWORD ListStreamRecords(const HostObject& file, bool named, std::vector<StreamRecord>* records) {
  HostInfo info;
  int error = ReadHostInfo(file, &info);
  if (error != 0)
    return HostError(error, file.path);
  if (!info.is_directory)
    records->push_back({L"::$DATA", info.size});
  if (!named)
    return ERROR_SUCCESS;
  std::vector<StoredStream> streams;
  error = ListStreams(file, &streams);
  if (error != 0)
    return ErrorFromErrno(error);
  for (const StoredStream& stream : streams)
    records->push_back({L":" + stream.name + L":$DATA", stream.size});
  return ERROR_SUCCESS;
}

void Put32(char* at, ULONG value) {
  std::memcpy(at, &value, sizeof(value));
}

void Put64(char* at, uint64_t value) {
  std::memcpy(at, &value, sizeof(value));
}

// Lays the records out as FileStreamInformation answers them: each on an
// 8-byte boundary, linked by NextEntryOffset (0 on the last), as many whole
// records as length holds.
IO_STATUS_BLOCK PutStreamRecords(const std::vector<StreamRecord>& records, char* buffer,
                                 ULONG length) {
  size_t used = 0;
  size_t next = 0;
  char* previous = nullptr;
  for (const StreamRecord& record : records) {
    std::string name = ToUtf16Le(record.name);
    size_t size = kFileStreamInformationHeaderSize + name.size();
    if (next + size > length)
      return {next == 0 ? STATUS_BUFFER_TOO_SMALL : STATUS_BUFFER_OVERFLOW, used};
    char* at = buffer + next;
    if (previous != nullptr)
      Put32(previous, static_cast<ULONG>(at - previous));
    Put32(at, 0);
    Put32(at + 4, static_cast<ULONG>(name.size()));
    Put64(at + 8, record.size);
    Put64(at + 16, record.size);
    std::memcpy(at + kFileStreamInformationHeaderSize, name.data(), name.size());
    previous = at;
    used = next + size;
    next = (used + 7) & ~size_t{7};
  }
  return {STATUS_SUCCESS, used};
}

}  // namespace

bool PosixOs::KeepsStreams(const std::wstring& file) const {
  ResolvedPath where;
  return resolver_.Resolve(file, &where) != ERROR_SUCCESS || where.volume == nullptr ||
         where.volume->streams;
}

HANDLE PosixOs::CreateStreamW(const wchar_t* file_name, const std::wstring& file,
                              const std::wstring& stream, DWORD desired_access, DWORD share_mode,
                              SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                              DWORD flags_and_attributes) {
  // A volume without named streams takes no stream name, as FAT does not.
  if (!KeepsStreams(file))
    return FailHandle(ERROR_INVALID_NAME);
  // The file is opened for its metadata only, taking no part in the
  // sharing (a stream's is its own), and made where the stream would be,
  // with the request's attributes and security, as the platform makes it.
  DWORD file_flags =
      (flags_and_attributes & ~FILE_FLAG_DELETE_ON_CLOSE) | FILE_FLAG_BACKUP_SEMANTICS;
  bool makes = MakesStream(creation_disposition);
  HANDLE base = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES, kShareAll, security_attributes,
                            makes ? OPEN_ALWAYS : OPEN_EXISTING, file_flags, nullptr);
  if (base == INVALID_HANDLE_VALUE)
    return INVALID_HANDLE_VALUE;
  bool made = makes && GetLastError() == ERROR_SUCCESS;
  std::shared_ptr<HandleObject> object = handles_.Remove(base);
  // A file made for its stream has all its data: it is not pending.
  if (made) {
    DWORD store_error = StoreHeldDescriptor(*object);
    if (store_error != ERROR_SUCCESS)
      return FailHandle(store_error);
    EndPendingWrite(ObjectOf(*object), false);
    object->write_pending = false;
  }
  StreamRequest request;
  request.access = desired_access;
  request.share_mode = share_mode & kShareAll;
  request.disposition = creation_disposition;
  request.flags = flags_and_attributes;
  bool existed = false;
  DWORD error = OpenStreamOn(*object, stream, request, shares_, &existed);
  if (error != ERROR_SUCCESS) {
    // Nothing is left of a failed creation: the file made for it goes.
    object->delete_on_close = made;
    CloseHandle(handles_.Add(std::move(object)));
    return FailHandle(error);
  }
  object->path = file_name;
  object->access = desired_access;
  object->is_directory = false;
  object->delete_on_close = (flags_and_attributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  HANDLE handle = handles_.Add(std::move(object));
  bool reports_existing =
      creation_disposition == CREATE_ALWAYS || creation_disposition == OPEN_ALWAYS;
  SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL PosixOs::DeleteStreamW(const std::wstring& file, const std::wstring& stream) {
  if (!KeepsStreams(file))
    return Fail(ERROR_INVALID_NAME);
  ResolvedPath resolved;
  HostInfo info;
  DWORD error = ResolveExisting(resolver_, file.c_str(), &resolved, &info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  if (info.is_link)
    return Fail(ERROR_INVALID_FUNCTION);
  if (info.attributes & FILE_ATTRIBUTE_READONLY)
    return Fail(ERROR_ACCESS_DENIED);
  HostObject host{resolved.host, -1};
  std::string attribute;
  int host_error = FindStream(host, stream, &attribute);
  ShareTable::Key key;
  if (host_error == 0 && ShareTable::KeyOfPath(resolved.host, &key)) {
    key.stream = attribute;
    if (!shares_.AllowsDelete(key))
      return Fail(ERROR_SHARING_VIOLATION);
  }
  if (host_error == 0)
    host_error = RemoveHostXattr(host, attribute.c_str());
  if (host_error != 0)
    return Fail(host_error == ENODATA ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(host_error));
  return TRUE;
}

NTSTATUS PosixOs::NtQueryInformationFile(HANDLE file, IO_STATUS_BLOCK* io_status, void* buffer,
                                         ULONG length, FILE_INFORMATION_CLASS information_class) {
  if (io_status == nullptr)
    return STATUS_INVALID_PARAMETER;
  *io_status = {STATUS_SUCCESS, 0};
  // A native call leaves the thread's last error alone.
  std::shared_ptr<HandleObject> object = handles_.Get(file);
  if (object == nullptr || object->kind != HandleObject::Kind::kFile)
    return io_status->Status = STATUS_INVALID_HANDLE;
  if (information_class != FileStreamInformation)
    return io_status->Status = STATUS_INVALID_INFO_CLASS;
  if (buffer == nullptr && length > 0)
    return io_status->Status = STATUS_INVALID_PARAMETER;
  std::vector<StreamRecord> records;
  const bool named = object->volume == nullptr || object->volume->streams;
  DWORD error = ListStreamRecords(ObjectOf(*object), named, &records);
  if (error != ERROR_SUCCESS)
    return io_status->Status = NtStatusFromWin32Error(error);
  *io_status = PutStreamRecords(records, static_cast<char*>(buffer), length);
  return io_status->Status;
}

}  // namespace tarvik
