#include "recording_os.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace tarvik {
namespace {

thread_local DWORD this_thread_id = 0;

}  // namespace

RecordingOs::RecordingOs() = default;

std::vector<RecordingOs::ConsoleWrite> RecordingOs::console_writes() {
  std::lock_guard lock(mutex_);
  return console_writes_;
}

std::wstring RecordingOs::console_text() {
  std::lock_guard lock(mutex_);
  std::wstring text;
  for (const ConsoleWrite& write : console_writes_)
    text += write.text;
  return text;
}

std::vector<WORD> RecordingOs::attribute_calls() {
  std::lock_guard lock(mutex_);
  return attribute_calls_;
}

void RecordingOs::HoldConsole() {
  std::lock_guard lock(mutex_);
  console_held_ = true;
}

void RecordingOs::ReleaseConsole() {
  {
    std::lock_guard lock(mutex_);
    console_held_ = false;
  }
  console_released_.notify_all();
}

void RecordingOs::SetThreadIdForThisThread(DWORD id) {
  this_thread_id = id;
}

void RecordingOs::SetFile(const std::wstring& path, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  files_[path] = bytes;
}

std::string RecordingOs::FileBytes(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  return files_[path];
}

bool RecordingOs::FileExists(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  return files_.count(path) != 0;
}

int RecordingOs::WriteFileCalls(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  return write_calls_[path];
}

int RecordingOs::OpenHandles() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(handles_.size());
}

void RecordingOs::FailOpen(const std::wstring& path, DWORD error) {
  std::lock_guard lock(mutex_);
  open_failures_[path] = error;
}

void RecordingOs::FailWrites(const std::wstring& path, DWORD error) {
  std::lock_guard lock(mutex_);
  write_failures_[path] = error;
}

std::vector<DWORD> RecordingOs::set_input_modes() {
  std::lock_guard lock(mutex_);
  return set_input_modes_;
}

std::set<int> RecordingOs::thread_priorities_set() {
  std::lock_guard lock(mutex_);
  return priorities_;
}

HANDLE RecordingOs::GetStdHandle(DWORD which) {
  if (which == STD_OUTPUT_HANDLE)
    return StdOutput();
  if (which == STD_INPUT_HANDLE)
    return StdInput();
  return INVALID_HANDLE_VALUE;
}

BOOL RecordingOs::GetConsoleMode(HANDLE console, DWORD* mode) {
  if (console != StdInput())
    return FALSE;
  *mode = input_mode_;
  return TRUE;
}

BOOL RecordingOs::SetConsoleMode(HANDLE console, DWORD mode) {
  std::lock_guard lock(mutex_);
  if (console != StdInput())
    return FALSE;
  set_input_modes_.push_back(mode);
  return TRUE;
}

BOOL RecordingOs::SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  std::lock_guard lock(mutex_);
  attribute_ = attributes;
  attribute_calls_.push_back(attributes);
  return TRUE;
}

BOOL RecordingOs::WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) {
  std::unique_lock lock(mutex_);
  console_released_.wait(lock, [this] { return !console_held_; });
  console_writes_.push_back({console, attribute_, std::wstring(text, length)});
  *written = length;
  return TRUE;
}

DWORD RecordingOs::FormatMessageW(DWORD flags, const void* source, DWORD message_id,
                                  DWORD language_id, wchar_t* buffer, DWORD size, void* arguments) {
  const wchar_t* text = nullptr;
  if (message_id == ERROR_ACCESS_DENIED)
    text = L"Access is denied.\r\n";
  if (message_id == ERROR_FILE_NOT_FOUND)
    text = L"The system cannot find the file specified.\r\n";
  if (text == nullptr) {
    Os::SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  DWORD length = static_cast<DWORD>(std::wcslen(text));
  if (length + 1 > size) {
    Os::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(buffer, text, length + 1);
  return length;
}

HANDLE RecordingOs::CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                                SECURITY_ATTRIBUTES* security_attributes,
                                DWORD creation_disposition, DWORD flags_and_attributes,
                                HANDLE template_file) {
  std::lock_guard lock(mutex_);
  std::wstring path(file_name);
  if (auto failure = open_failures_.find(path); failure != open_failures_.end()) {
    Os::SetLastError(failure->second);
    return INVALID_HANDLE_VALUE;
  }
  bool exists = files_.count(path) != 0;
  switch (creation_disposition) {
    case CREATE_ALWAYS:
      files_[path].clear();
      break;
    case OPEN_ALWAYS:
      files_[path];
      break;
    case OPEN_EXISTING:
      if (!exists) {
        Os::SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      break;
    default:
      Os::SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  uintptr_t handle = next_handle_++;
  handles_[handle] = OpenFile{path, 0};
  return reinterpret_cast<HANDLE>(handle);
}

BOOL RecordingOs::ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                           OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  *bytes_read = 0;
  auto open = handles_.find(reinterpret_cast<uintptr_t>(file));
  if (open == handles_.end()) {
    Os::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const std::string& data = files_[open->second.path];
  size_t available = data.size() > open->second.position ? data.size() - open->second.position : 0;
  if (available == 0 && read_error_ != 0) {
    Os::SetLastError(read_error_);
    return FALSE;
  }
  size_t count = std::min<size_t>(available, bytes_to_read);
  std::memcpy(buffer, data.data() + open->second.position, count);
  open->second.position += count;
  *bytes_read = static_cast<DWORD>(count);
  return TRUE;
}

BOOL RecordingOs::WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write,
                            DWORD* bytes_written, OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  *bytes_written = 0;
  auto open = handles_.find(reinterpret_cast<uintptr_t>(file));
  if (open == handles_.end()) {
    Os::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const std::wstring& path = open->second.path;
  if (auto failure = write_failures_.find(path); failure != write_failures_.end()) {
    Os::SetLastError(failure->second);
    return FALSE;
  }
  std::string& data = files_[path];
  size_t position = open->second.position;
  if (data.size() < position + bytes_to_write)
    data.resize(position + bytes_to_write);
  std::memcpy(data.data() + position, buffer, bytes_to_write);
  open->second.position += bytes_to_write;
  ++write_calls_[path];
  *bytes_written = bytes_to_write;
  return TRUE;
}

DWORD RecordingOs::SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high,
                                  DWORD method) {
  std::lock_guard lock(mutex_);
  auto open = handles_.find(reinterpret_cast<uintptr_t>(file));
  if (open == handles_.end() || method != FILE_END || distance_low != 0) {
    Os::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  open->second.position = files_[open->second.path].size();
  if (distance_high != nullptr)
    *distance_high = 0;
  return static_cast<DWORD>(open->second.position);
}

BOOL RecordingOs::FlushFileBuffers(HANDLE file) {
  std::lock_guard lock(mutex_);
  return handles_.count(reinterpret_cast<uintptr_t>(file)) != 0;
}

BOOL RecordingOs::CloseHandle(HANDLE object) {
  std::lock_guard lock(mutex_);
  return handles_.erase(reinterpret_cast<uintptr_t>(object)) != 0;
}

bool RecordingOs::LocalTime(int64_t seconds, std::tm* out) {
  // The test world's local time is UTC, so expected prefixes are fixed.
  std::time_t value = static_cast<std::time_t>(seconds);
  return gmtime_r(&value, out) != nullptr;
}

BOOL RecordingOs::QueryPerformanceCounter(LARGE_INTEGER* count) {
  count->QuadPart = clock_ * 1000;
  return TRUE;
}

BOOL RecordingOs::QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000;
  return TRUE;
}

void RecordingOs::Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD RecordingOs::GetCurrentThreadId() {
  if (this_thread_id == 0)
    this_thread_id = next_thread_id_++;
  return this_thread_id;
}

BOOL RecordingOs::SetCurrentThreadPriority(int priority) {
  std::lock_guard lock(mutex_);
  priorities_.insert(priority);
  return TRUE;
}

}  // namespace tarvik
