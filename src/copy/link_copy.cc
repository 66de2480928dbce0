// Symbolic links to directories and to files: the source link's reparse data
// is read and set unchanged on the target object.
#include <cstring>
#include <vector>

#include "copy/dir_copy.h"
#include "copy/engine_state.h"
#include "log/log.h"
#include "platform/handle_closer.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {
namespace {

constexpr DWORD kLinkSourceAccess =
    READ_CONTROL | FILE_READ_DATA | FILE_READ_EA | FILE_READ_ATTRIBUTES;
constexpr DWORD kLinkTargetAccess =
    READ_CONTROL | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kLinkFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

uint16_t ReadU16(const std::vector<uint8_t>& buffer, size_t offset) {
  return static_cast<uint16_t>(buffer[offset] | (buffer[offset + 1] << 8));
}

}  // namespace

// The print name of a symbolic link's reparse data, as shown in messages.
std::wstring ReparseLinkText(const std::vector<uint8_t>& buffer, DWORD length) {
  const size_t path_start = REPARSE_DATA_BUFFER_HEADER_SIZE + SYMLINK_REPARSE_DATA_HEADER_SIZE;
  if (length < path_start || buffer.size() < path_start)
    return std::wstring();
  const size_t offset = ReadU16(buffer, 12);
  const size_t bytes = ReadU16(buffer, 14);
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    const size_t at = path_start + offset + i;
    if (at + 1 >= length || at + 1 >= buffer.size())
      break;
    const wchar_t unit = ReadU16(buffer, at);
    // Surrogate pairs become one character.
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes && at + 3 < length) {
      const wchar_t low = ReadU16(buffer, at + 2);
      text.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      i += 2;
      continue;
    }
    text.push_back(unit);
  }
  return text;
}

int DirCopy::OnDirectoryLink(FindData* target_entry) {
  const CopySettings& s = Settings();
  ResetRetries();
  Os::SetLastError(0);
  FindData* source = current_entry();
  SetTargetEntryPath(source->LongName(), false);
  const bool is_new = target_entry == nullptr;
  bool ok = false;
  try {
    ok = s.listOnly || CopyDirectoryLink(target_entry);
  } catch (const DirScanException& e) {
    if (e.IsFatal() || !s.continueOnError)
      RequestAbort();
    ReportException(e);
    ok = false;
  }
  if (ok) {
    ++counters_.directoryLinks;
    return 1;
  }
  ++counters_.directoryLinksFailed;
  resultBits_ |= kResultDataError;
  if (is_new)
    RemoveFailedLink();
  return 0;
}

bool DirCopy::CopyDirectoryLink(FindData* target_entry) {
  const CopySettings& s = Settings();
  FindData* source = current_entry();
  if (target_entry != nullptr && !target_entry->HasReparseTag(IO_REPARSE_TAG_SYMLINK)) {
    throw DirScanException(
        kObjectEnded,
        Format(L"%s -> MisMatched error, pathname should be a directory symlink", target_path_));
  }
  const bool is_new = target_entry == nullptr;
  const SecurityMode mode = s.securityMode;
  if (mode != SecurityMode::None && mode != SecurityMode::HomeDir &&
      !SecurityStep(true, is_new, !(s.backupSD || s.restoreSD))) {
    throw DirScanException(kDirectorySecurityNotSet,
                           Format(L"%s -> unable to set security", target_path_));
  }
  std::vector<uint8_t> buffer;
  DWORD length = 0;
  ReadLinkData(&buffer, &length, true);
  const std::wstring text = ReparseLinkText(buffer, length);
  if (!LinksSupported()) {
    Os::SetLastError(ERROR_ALREADY_EXISTS);
    throw DirScanException(kObjectEnded,
                           Format(L"%s -> %s : symlink creation failure", target_path_, text));
  }
  Os& os = Os::Current();
  HANDLE handle = INVALID_HANDLE_VALUE;
  HandleCloser closer(&handle);
  for (;;) {
    handle = os.CreateFileW(target_path_.c_str(), kLinkTargetAccess, 0, nullptr, OPEN_EXISTING,
                            kLinkFlags, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
      break;
    ThrowIfAborted();
    if (Os::GetLastError() == ERROR_FILE_NOT_FOUND) {
      // The link is made on a new empty directory.
      while (!os.CreateDirectoryW(target_path_.c_str(), nullptr)) {
        if (Os::GetLastError() == ERROR_ALREADY_EXISTS) {
          if (s.debugSystem)
            LogInfo(L"%s -> directory should not exist at this point", target_path_);
          break;
        }
        RetryOrThrow(L"%s -> Unable to create directory symlink", target_path_);
      }
      continue;
    }
    RetryOrThrow(L"%s -> unable to open", target_path_);
  }
  DWORD returned = 0;
  if (!os.DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), length, nullptr, 0,
                          &returned, nullptr)) {
    if (Os::GetLastError() == ERROR_INVALID_FUNCTION) {
      MarkLinksUnsupported();
      throw DirScanException(kObjectEnded,
                             Format(L"%s -> unable to set reparse buffer", target_path_));
    }
    throw DirScanException(kObjectEnded,
                           Format(L"%s -> %s : symlink creation failure", target_path_, text));
  }
  SetFileTimes(target_path_, &handle, &source->data.ftCreationTime, &source->data.ftLastAccessTime,
               &source->data.ftLastWriteTime);
  if (!s.quiet)
    LogInfo(L"%s -> %s", target_path_, text);
  if (is_new || target_entry->attributes() != source->attributes())
    return ApplyAttributes();
  return true;
}

bool DirCopy::CopyFileLink() {
  const CopySettings& s = Settings();
  FindData* source = current_entry();
  std::vector<uint8_t> buffer;
  DWORD length = 0;
  bool created = false;
  Os& os = Os::Current();
  HANDLE handle = INVALID_HANDLE_VALUE;
  try {
    HandleCloser closer(&handle);
    ReadLinkData(&buffer, &length, false);
    const std::wstring text = ReparseLinkText(buffer, length);
    if (!LinksSupported())
      throw DirScanException(kObjectEnded,
                             Format(L"%s -> %s : symlink creation failure", target_path_, text));
    DWORD disposition = OPEN_EXISTING;
    for (;;) {
      handle = os.CreateFileW(target_path_.c_str(), kLinkTargetAccess, 0, nullptr, disposition,
                              kLinkFlags, nullptr);
      if (handle != INVALID_HANDLE_VALUE)
        break;
      const DWORD error = Os::GetLastError();
      ThrowIfAborted();
      if (error == ERROR_FILE_NOT_FOUND && disposition == OPEN_EXISTING) {
        disposition = CREATE_NEW;
        continue;
      }
      RetryOrThrow(L"Unable to open %s : ", target_path_);
    }
    created = disposition == CREATE_NEW;
    DWORD returned = 0;
    if (!os.DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), length, nullptr, 0,
                            &returned, nullptr)) {
      if (Os::GetLastError() == ERROR_INVALID_FUNCTION) {
        MarkLinksUnsupported();
        throw DirScanException(kObjectEnded,
                               Format(L"%s : unable to set reparse buffer", target_path_));
      }
      throw DirScanException(kObjectEnded,
                             Format(L"%s -> %s : symlink creation failure", target_path_, text));
    }
    SetFileTimes(target_path_, &handle, &source->data.ftCreationTime,
                 &source->data.ftLastAccessTime, &source->data.ftLastWriteTime);
    if (!s.quiet)
      LogInfo(L"%s -> %s", target_path_, text);
    return true;
  } catch (const DirScanException&) {
    // The empty file made for the link (here, or by the security step) must
    // not stay behind as if it were the copy.
    if (created || standInCreated_)
      RemoveFailedLink();
    throw;
  }
}

// Reads the reparse data of the current source entry (a symbolic link).
void DirCopy::ReadLinkData(std::vector<uint8_t>* buffer, DWORD* length, bool directory) {
  Os& os = Os::Current();
  HANDLE handle = INVALID_HANDLE_VALUE;
  HandleCloser closer(&handle);
  for (;;) {
    handle = os.CreateFileW(current_path_.c_str(), kLinkSourceAccess, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, kLinkFlags, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
      break;
    ThrowIfAborted();
    if (directory)
      RetryOrThrow(L"%s -> unable to open", current_path_);
    else
      RetryOrThrow(L"%s -> Unable to open", current_path_);
  }
  buffer->assign(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, 0);
  *length = 0;
  if (os.DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer->data(),
                         MAXIMUM_REPARSE_DATA_BUFFER_SIZE, length, nullptr)) {
    return;
  }
  const DWORD error = Os::GetLastError();
  if (error == ERROR_INVALID_FUNCTION)
    MarkLinksUnsupported();
  if (!directory)
    throw DirScanException(kObjectEnded,
                           Format(L"%s : unable to get reparse buffer", current_path_));
  if (error == ERROR_NOT_A_REPARSE_POINT) {
    LogInfo(L"%s excluded (widelink)", target_path_);
    throw DirScanException(kObjectEnded, L"");
  }
  const FindData* source = current_entry();
  throw DirScanException(
      kObjectEnded,
      Format(L"%s -> unable to get reparse buffer",
             error == ERROR_INVALID_FUNCTION ? std::wstring(source->LongName()) : current_path_));
}

// Removes what a failed link copy created. The link itself is opened, never
// what it points to.
void DirCopy::RemoveFailedLink() {
  Os& os = Os::Current();
  HANDLE handle = os.CreateFileW(
      target_path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    os.CloseHandle(handle);
    return;
  }
  const DWORD error = Os::GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    LogWarning(L"%s can be removed", target_path_);
}

}  // namespace tarvik
