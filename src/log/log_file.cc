#include "log/log_file.h"

#include <algorithm>
#include <limits>

#include "platform/os.h"
#include "util/utf.h"

namespace tarvik {

std::unique_ptr<LogFile> LogFile::Open(const std::wstring& path, bool append, bool unicode) {
  Os& os = Os::Current();
  HANDLE handle =
      os.CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                     append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return nullptr;
  if (append) {
    LONG high = 0;
    Os::SetLastError(ERROR_SUCCESS);  // the end offset may legitimately read as 0xFFFFFFFF
    if (os.SetFilePointer(handle, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
        Os::GetLastError() != ERROR_SUCCESS) {
      DWORD error = Os::GetLastError();
      os.CloseHandle(handle);
      Os::SetLastError(error);
      return nullptr;
    }
  }
  return std::unique_ptr<LogFile>(new LogFile(path, handle, unicode));
}

LogFile::LogFile(std::wstring path, HANDLE handle, bool unicode)
    : path_(std::move(path)), handle_(handle), unicode_(unicode) {}

LogFile::~LogFile() {
  Os::Current().CloseHandle(handle_);
}

bool LogFile::WriteByteOrderMark() {
  return WriteBytes(std::string("\xFF\xFE", 2));
}

bool LogFile::Write(std::wstring_view text) {
  return WriteBytes(unicode_ ? ToUtf16Le(text) : ToUtf8(text));
}

bool LogFile::WriteBytes(const std::string& bytes) {
  Os& os = Os::Current();
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(
        std::min<size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max()));
    DWORD written = 0;
    if (!os.WriteFile(handle_, bytes.data() + done, chunk, &written, nullptr))
      return false;
    if (written == 0) {
      Os::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace tarvik
