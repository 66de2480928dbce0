#include "platform/fault_os.h"

#include "util/text.h"

namespace tarvik {
namespace {

constexpr FaultableCall kCalls[] = {
    {L"CreateFileW", true},       {L"ReadFile", true},         {L"WriteFile", true},
    {L"SetFilePointer", true},    {L"FlushFileBuffers", true}, {L"CloseHandle", true},
    {L"GetComputerNameW", false},
};

// The path as the pattern sees it: no long prefix, one kind of separator,
// folded case.
std::wstring Canonical(std::wstring_view path) {
  std::wstring text;
  if (StartsWithNoCaseAscii(path, L"\\\\?\\UNC\\")) {
    text = L"\\\\" + std::wstring(path.substr(8));
  } else if (path.substr(0, 4) == L"\\\\?\\") {
    text = path.substr(4);
  } else {
    text = path;
  }
  for (wchar_t& c : text)
    c = c == L'/' ? L'\\' : ToLowerAscii(c);
  return text;
}

bool WildcardMatch(std::wstring_view pattern, std::wstring_view text) {
  size_t p = 0, t = 0;
  size_t star = std::wstring_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      resume = t;
    } else if (star != std::wstring_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*')
    ++p;
  return p == pattern.size();
}

}  // namespace

const FaultableCall* FindFaultableCall(std::wstring_view name) {
  for (const FaultableCall& call : kCalls) {
    if (name == call.name)
      return &call;
  }
  return nullptr;
}

bool MatchesPathPattern(std::wstring_view pattern, std::wstring_view path) {
  return WildcardMatch(Canonical(pattern), Canonical(path));
}

FaultOs::FaultOs(std::unique_ptr<Os> inner, std::vector<WorldFault> faults)
    : inner_(std::move(inner)) {
  for (WorldFault& fault : faults)
    rules_.push_back({std::move(fault), 0});
}

bool FaultOs::Inject(std::wstring_view call, std::wstring_view path) {
  std::lock_guard lock(mutex_);
  DWORD error = ERROR_SUCCESS;
  for (Rule& rule : rules_) {
    if (rule.fault.call != call)
      continue;
    if (!rule.fault.path_pattern.empty() && !MatchesPathPattern(rule.fault.path_pattern, path)) {
      continue;
    }
    uint64_t seen = ++rule.matched;
    bool failing = seen > rule.fault.after &&
                   (rule.fault.count == 0 || seen <= uint64_t{rule.fault.after} + rule.fault.count);
    if (failing && error == ERROR_SUCCESS)
      error = rule.fault.error;
  }
  if (error == ERROR_SUCCESS)
    return false;
  SetLastError(error);
  return true;
}

std::wstring FaultOs::PathOf(HANDLE handle) {
  std::lock_guard lock(mutex_);
  auto it = paths_.find(handle);
  return it == paths_.end() ? std::wstring() : it->second;
}

UINT FaultOs::SetErrorMode(UINT mode) {
  return inner_->SetErrorMode(mode);
}

HANDLE FaultOs::GetStdHandle(DWORD which) {
  return inner_->GetStdHandle(which);
}

BOOL FaultOs::GetConsoleMode(HANDLE console, DWORD* mode) {
  return inner_->GetConsoleMode(console, mode);
}

BOOL FaultOs::SetConsoleMode(HANDLE console, DWORD mode) {
  return inner_->SetConsoleMode(console, mode);
}

BOOL FaultOs::SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  return inner_->SetConsoleTextAttribute(console, attributes);
}

BOOL FaultOs::WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) {
  return inner_->WriteConsoleW(console, text, length, written);
}

BOOL FaultOs::GetComputerNameW(wchar_t* buffer, DWORD* size) {
  if (Inject(L"GetComputerNameW", L""))
    return FALSE;
  return inner_->GetComputerNameW(buffer, size);
}

DWORD FaultOs::FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                              wchar_t* buffer, DWORD size, void* arguments) {
  return inner_->FormatMessageW(flags, source, message_id, language_id, buffer, size, arguments);
}

HANDLE FaultOs::CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                            SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                            DWORD flags_and_attributes, HANDLE template_file) {
  if (file_name != nullptr && Inject(L"CreateFileW", file_name))
    return INVALID_HANDLE_VALUE;
  HANDLE handle = inner_->CreateFileW(file_name, desired_access, share_mode, security_attributes,
                                      creation_disposition, flags_and_attributes, template_file);
  if (handle != INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();  // ERROR_ALREADY_EXISTS must survive the bookkeeping
    std::lock_guard lock(mutex_);
    paths_[handle] = file_name;
    SetLastError(error);
  }
  return handle;
}

BOOL FaultOs::ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                       OVERLAPPED* overlapped) {
  if (Inject(L"ReadFile", PathOf(file))) {
    if (bytes_read != nullptr)
      *bytes_read = 0;
    return FALSE;
  }
  return inner_->ReadFile(file, buffer, bytes_to_read, bytes_read, overlapped);
}

BOOL FaultOs::WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write, DWORD* bytes_written,
                        OVERLAPPED* overlapped) {
  if (Inject(L"WriteFile", PathOf(file))) {
    if (bytes_written != nullptr)
      *bytes_written = 0;
    return FALSE;
  }
  return inner_->WriteFile(file, buffer, bytes_to_write, bytes_written, overlapped);
}

DWORD FaultOs::SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) {
  if (Inject(L"SetFilePointer", PathOf(file)))
    return INVALID_SET_FILE_POINTER;
  return inner_->SetFilePointer(file, distance_low, distance_high, method);
}

BOOL FaultOs::FlushFileBuffers(HANDLE file) {
  if (Inject(L"FlushFileBuffers", PathOf(file)))
    return FALSE;
  return inner_->FlushFileBuffers(file);
}

BOOL FaultOs::CloseHandle(HANDLE object) {
  std::wstring path = PathOf(object);
  {
    std::lock_guard lock(mutex_);
    paths_.erase(object);
  }
  // A failed close still releases the handle, as it does on the platform.
  bool fail = Inject(L"CloseHandle", path);
  DWORD error = GetLastError();
  BOOL closed = inner_->CloseHandle(object);
  if (!fail)
    return closed;
  SetLastError(error);
  return FALSE;
}

int64_t FaultOs::time() {
  return inner_->time();
}

bool FaultOs::LocalTime(int64_t seconds, std::tm* out) {
  return inner_->LocalTime(seconds, out);
}

void FaultOs::GetSystemTimeAsFileTime(FILETIME* now) {
  inner_->GetSystemTimeAsFileTime(now);
}

BOOL FaultOs::QueryPerformanceCounter(LARGE_INTEGER* count) {
  return inner_->QueryPerformanceCounter(count);
}

BOOL FaultOs::QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  return inner_->QueryPerformanceFrequency(frequency);
}

void FaultOs::Sleep(DWORD milliseconds) {
  inner_->Sleep(milliseconds);
}

DWORD FaultOs::GetCurrentThreadId() {
  return inner_->GetCurrentThreadId();
}

BOOL FaultOs::SetCurrentThreadPriority(int priority) {
  return inner_->SetCurrentThreadPriority(priority);
}

}  // namespace tarvik
