#include "platform/posix/posix_os.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string_view>

#include "platform/error_text.h"
#include "platform/fault_os.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/host_world.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr DWORD kDefaultInputMode = 0x01F7;   // processed, line, echo, mouse, insert, quick edit...
constexpr DWORD kDefaultOutputMode = 0x0003;  // processed output, wrap at end of line
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr int64_t kFileTimeEpochOffset = 11644473600LL;  // seconds from 1601 to 1970

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

HANDLE FailHandle(DWORD error) {
  Os::SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// The ANSI sequence for a console text attribute: the foreground and
// background nibbles (blue 1, green 2, red 4, intensity 8) as SGR colours.
std::string AnsiSequence(WORD attributes) {
  if ((attributes & 0xFF) == (FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE)) {
    return "\x1b[0m";
  }
  auto colour = [](unsigned nibble) {
    return ((nibble & 4) ? 1 : 0) | ((nibble & 2) ? 2 : 0) | ((nibble & 1) ? 4 : 0);
  };
  unsigned foreground = attributes & 0x0F;
  unsigned background = (attributes >> 4) & 0x0F;
  std::string sequence = "\x1b[0;";
  sequence += std::to_string(((foreground & 8) ? 90 : 30) + colour(foreground));
  if (background != 0) {
    sequence += ';';
    sequence += std::to_string(((background & 8) ? 100 : 40) + colour(background));
  }
  sequence += 'm';
  return sequence;
}

int OpenRetryingInterrupts(const std::string& path, int flags, mode_t mode = 0666) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

std::wstring HostCurrentDirectory(const World& world) {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof(buffer)) == nullptr)
    return L"/";
  std::string host = buffer;
  const WorldDrive* drive = world.DriveForHostPath(host);
  if (drive == nullptr)
    return FromUtf8(host);
  std::wstring windows = std::wstring(1, drive->letter) + L":\\";
  std::string below = host.substr(drive->host_path.size());
  while (!below.empty() && below[0] == '/')
    below.erase(0, 1);
  for (wchar_t c : FromUtf8(below))
    windows += c == L'/' ? L'\\' : c;
  return windows;
}

PosixOs::PosixOs(World world) : PosixOs(std::move(world), StdFds{}) {}

PosixOs::PosixOs(World world, StdFds std_fds)
    : world_(std::move(world)), resolver_(world_, HostCurrentDirectory(world_)) {
  errno = 0;
  int nice_value = ::getpriority(PRIO_PROCESS, 0);
  base_nice_ = errno == 0 ? nice_value : 0;
  std_input_ = AddConsole(std_fds.input, kDefaultInputMode);
  std_output_ = AddConsole(std_fds.output, kDefaultOutputMode);
  std_error_ = AddConsole(std_fds.error, kDefaultOutputMode);
}

HANDLE PosixOs::AddConsole(int fd, DWORD initial_mode) {
  auto console = std::make_shared<HandleObject>(HandleObject::Kind::kConsole, fd, false);
  console->is_terminal = ::isatty(fd) == 1;
  console->console_mode = initial_mode;
  return handles_.Add(std::move(console));
}

std::shared_ptr<HandleObject> PosixOs::Lookup(HANDLE handle) const {
  std::shared_ptr<HandleObject> object = handles_.Get(handle);
  if (object == nullptr)
    SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// --- Process and console ---

UINT PosixOs::SetErrorMode(UINT mode) {
  return error_mode_.exchange(mode);
}

HANDLE PosixOs::GetStdHandle(DWORD which) {
  switch (which) {
    case STD_INPUT_HANDLE:
      return std_input_;
    case STD_OUTPUT_HANDLE:
      return std_output_;
    case STD_ERROR_HANDLE:
      return std_error_;
    default:
      return FailHandle(ERROR_INVALID_HANDLE);
  }
}

BOOL PosixOs::GetConsoleMode(HANDLE console, DWORD* mode) {
  std::shared_ptr<HandleObject> object = Lookup(console);
  if (object == nullptr)
    return FALSE;
  // A redirected standard handle is no console.
  if (object->kind != HandleObject::Kind::kConsole || !object->is_terminal) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  if (mode == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  *mode = object->console_mode.load();
  return TRUE;
}

BOOL PosixOs::SetConsoleMode(HANDLE console, DWORD mode) {
  std::shared_ptr<HandleObject> object = Lookup(console);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kConsole || !object->is_terminal) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  object->console_mode = mode;
  return TRUE;
}

BOOL PosixOs::SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  std::shared_ptr<HandleObject> object = Lookup(console);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kConsole)
    return Fail(ERROR_INVALID_HANDLE);
  // Escape sequences would only litter a file or a pipe.
  if (!object->is_terminal)
    return TRUE;
  std::string sequence = AnsiSequence(attributes);
  size_t written;
  return WriteAll(*object, sequence.data(), sequence.size(), &written);
}

BOOL PosixOs::WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) {
  if (written != nullptr)
    *written = 0;
  std::shared_ptr<HandleObject> object = Lookup(console);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kConsole)
    return Fail(ERROR_INVALID_HANDLE);
  if (text == nullptr && length > 0)
    return Fail(ERROR_INVALID_PARAMETER);
  std::string bytes = ToUtf8(std::wstring_view(text == nullptr ? L"" : text, length));
  size_t done;
  if (!WriteAll(*object, bytes.data(), bytes.size(), &done))
    return FALSE;
  if (written != nullptr)
    *written = length;
  return TRUE;
}

BOOL PosixOs::WriteAll(HandleObject& object, const char* data, size_t size, size_t* written) {
  *written = 0;
  while (*written < size) {
    ssize_t result = ::write(object.fd, data + *written, size - *written);
    if (result < 0) {
      if (errno == EINTR)
        continue;
      return Fail(errno == EBADF && object.kind == HandleObject::Kind::kFile
                      ? ERROR_ACCESS_DENIED
                      : ErrorFromErrno(errno));
    }
    *written += static_cast<size_t>(result);
  }
  return TRUE;
}

BOOL PosixOs::GetComputerNameW(wchar_t* buffer, DWORD* size) {
  if (size == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  const std::wstring& name = world_.computer;
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    return Fail(ERROR_BUFFER_OVERFLOW);
  }
  name.copy(buffer, name.size());
  buffer[name.size()] = L'\0';
  *size = needed - 1;
  return TRUE;
}

DWORD PosixOs::FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                              wchar_t* buffer, DWORD size, void* arguments) {
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const SystemErrorInfo* info = FindSystemError(message_id);
  if (info == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::wstring text = std::wstring(info->text) + L"\r\n";
  if (buffer == nullptr || size < text.size() + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  text.copy(buffer, text.size());
  buffer[text.size()] = L'\0';
  return static_cast<DWORD>(text.size());
}

// --- Files ---

DWORD PosixOs::NotFoundError(const std::string& host_path) {
  size_t slash = host_path.rfind('/');
  std::string parent = slash == 0 ? "/" : host_path.substr(0, slash);
  struct stat info;
  if (::stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

HANDLE PosixOs::CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                            SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                            DWORD flags_and_attributes, HANDLE template_file) {
  if (file_name == nullptr || creation_disposition < CREATE_NEW ||
      creation_disposition > TRUNCATE_EXISTING) {
    return FailHandle(ERROR_INVALID_PARAMETER);
  }
  bool want_read = (desired_access & kReadRights) != 0;
  bool want_write = (desired_access & kWriteRights) != 0;
  if (creation_disposition == TRUNCATE_EXISTING && !want_write) {
    return FailHandle(ERROR_INVALID_PARAMETER);
  }
  ResolvedPath resolved;
  DWORD error = resolver_.Resolve(file_name, &resolved);
  if (error != ERROR_SUCCESS)
    return FailHandle(error);
  const std::string& host = resolved.host;

  int fd = -1;
  bool existed = false;
  struct stat info;
  if (::stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    // Directories open only for backup semantics, and are never replaced.
    if (creation_disposition == CREATE_NEW)
      return FailHandle(ERROR_FILE_EXISTS);
    if ((flags_and_attributes & FILE_FLAG_BACKUP_SEMANTICS) == 0 ||
        creation_disposition == CREATE_ALWAYS || creation_disposition == TRUNCATE_EXISTING) {
      return FailHandle(ERROR_ACCESS_DENIED);
    }
    fd = OpenRetryingInterrupts(host, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    existed = true;
  } else {
    int flags = O_CLOEXEC | O_NOCTTY;
    flags |= want_read && want_write ? O_RDWR : want_write ? O_WRONLY : O_RDONLY;
    if (want_write && (desired_access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0) {
      flags |= O_APPEND;
    }
    if (flags_and_attributes & FILE_FLAG_WRITE_THROUGH)
      flags |= O_DSYNC;
    // Reading a source must not change its access time where the host allows.
    auto open_file = [&](int extra) {
      int result = -1;
      if (!want_write)
        result = OpenRetryingInterrupts(host, flags | extra | O_NOATIME);
      if (result < 0 && (want_write || errno == EPERM)) {
        result = OpenRetryingInterrupts(host, flags | extra);
      }
      // Opening only to read or change metadata needs no right to the data.
      if (result < 0 && errno == EACCES && !want_read && !want_write && extra == 0) {
        result = OpenRetryingInterrupts(host, O_PATH | O_CLOEXEC);
      }
      return result;
    };
    switch (creation_disposition) {
      case CREATE_NEW:
        fd = open_file(O_CREAT | O_EXCL);
        break;
      case CREATE_ALWAYS:
      case OPEN_ALWAYS:
        // Learn whether the file was there: create exclusively first, and
        // open the existing file when that fails; repeat if it vanished meanwhile.
        for (int attempt = 0; attempt < 16; ++attempt) {
          fd = open_file(O_CREAT | O_EXCL);
          if (fd >= 0 || errno != EEXIST)
            break;
          fd = open_file(creation_disposition == CREATE_ALWAYS ? O_TRUNC : 0);
          if (fd >= 0)
            existed = true;
          if (fd >= 0 || errno != ENOENT)
            break;
        }
        break;
      case OPEN_EXISTING:
        fd = open_file(0);
        break;
      case TRUNCATE_EXISTING:
        fd = open_file(O_TRUNC);
        break;
    }
  }
  if (fd < 0) {
    int saved = errno;
    if (saved == ENOENT)
      return FailHandle(NotFoundError(host));
    return FailHandle(ErrorFromErrno(saved));
  }

  auto file = std::make_shared<HandleObject>(HandleObject::Kind::kFile, fd, true);
  file->path = file_name;
  file->host_path = host;
  file->access = desired_access;
  file->delete_on_close = (flags_and_attributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  HANDLE handle = handles_.Add(std::move(file));
  bool reports_existing =
      creation_disposition == CREATE_ALWAYS || creation_disposition == OPEN_ALWAYS;
  SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL PosixOs::ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                       OVERLAPPED* overlapped) {
  if (bytes_read != nullptr)
    *bytes_read = 0;
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (overlapped != nullptr || (buffer == nullptr && bytes_to_read > 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  bool is_file = object->kind == HandleObject::Kind::kFile;
  if (is_file && (object->access & kReadRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  // A file read returns everything up to the end; a pipe or terminal returns
  // what is there.
  size_t total = 0;
  char* out = static_cast<char*>(buffer);
  while (total < bytes_to_read) {
    ssize_t got = ::read(object->fd, out + total, bytes_to_read - total);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EISDIR)
        return Fail(ERROR_INVALID_FUNCTION);
      if (errno == EPIPE)
        break;
      return Fail(ErrorFromErrno(errno));
    }
    if (got == 0)
      break;
    total += static_cast<size_t>(got);
    if (!is_file)
      break;
  }
  if (bytes_read != nullptr)
    *bytes_read = static_cast<DWORD>(total);
  return TRUE;
}

BOOL PosixOs::WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write, DWORD* bytes_written,
                        OVERLAPPED* overlapped) {
  if (bytes_written != nullptr)
    *bytes_written = 0;
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (overlapped != nullptr || (buffer == nullptr && bytes_to_write > 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (object->kind == HandleObject::Kind::kFile && (object->access & kWriteRights) == 0) {
    return Fail(ERROR_ACCESS_DENIED);
  }
  size_t written = 0;
  BOOL ok = WriteAll(*object, static_cast<const char*>(buffer), bytes_to_write, &written);
  if (bytes_written != nullptr)
    *bytes_written = static_cast<DWORD>(written);
  return ok;
}

DWORD PosixOs::SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return INVALID_SET_FILE_POINTER;
  int64_t distance = distance_high == nullptr
                         ? static_cast<int64_t>(distance_low)
                         : static_cast<int64_t>((static_cast<uint64_t>(*distance_high) << 32) |
                                                static_cast<uint32_t>(distance_low));
  int64_t base = 0;
  if (method == FILE_CURRENT) {
    base = ::lseek(object->fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    struct stat info;
    base = ::fstat(object->fd, &info) == 0 ? info.st_size : -1;
  } else if (method != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target;
  if (__builtin_add_overflow(base, distance, &target) || target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high part the position must be told in 32 bits.
  if (distance_high == nullptr && target >= static_cast<int64_t>(INVALID_SET_FILE_POINTER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(object->fd, target, SEEK_SET) < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high != nullptr)
    *distance_high = static_cast<LONG>(target >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(target);
}

BOOL PosixOs::FlushFileBuffers(HANDLE file) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (object->kind == HandleObject::Kind::kConsole) {
    // Terminals and pipes hold nothing back; a redirected file is synced.
    if (object->is_terminal)
      return Fail(ERROR_INVALID_HANDLE);
    if (::fsync(object->fd) != 0 && errno != EINVAL && errno != EROFS) {
      return Fail(ErrorFromErrno(errno));
    }
    return TRUE;
  }
  if ((object->access & kWriteRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (::fsync(object->fd) != 0)
    return Fail(ErrorFromErrno(errno));
  return TRUE;
}

BOOL PosixOs::CloseHandle(HANDLE handle) {
  std::shared_ptr<HandleObject> object = handles_.Remove(handle);
  if (object == nullptr)
    return Fail(ERROR_INVALID_HANDLE);
  if (object->delete_on_close)
    ::unlink(object->host_path.c_str());
  // A call still running on another thread keeps the descriptor until it ends.
  if (object.use_count() == 1) {
    int error_number = object->Close();
    if (error_number != 0)
      return Fail(ErrorFromErrno(error_number));
  }
  return TRUE;
}

// --- Time and threads ---

int64_t PosixOs::time() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

bool PosixOs::LocalTime(int64_t seconds, std::tm* out) {
  time_t value = static_cast<time_t>(seconds);
  return out != nullptr && ::localtime_r(&value, out) != nullptr;
}

void PosixOs::GetSystemTimeAsFileTime(FILETIME* now) {
  struct timespec clock;
  ::clock_gettime(CLOCK_REALTIME, &clock);
  uint64_t ticks = static_cast<uint64_t>(clock.tv_sec + kFileTimeEpochOffset) * 10000000ull +
                   static_cast<uint64_t>(clock.tv_nsec) / 100;
  now->dwLowDateTime = static_cast<DWORD>(ticks);
  now->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

BOOL PosixOs::QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (count == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  count->QuadPart = static_cast<LONGLONG>(now.tv_sec) * 1000000000LL + now.tv_nsec;
  return TRUE;
}

BOOL PosixOs::QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  frequency->QuadPart = 1000000000LL;
  return TRUE;
}

void PosixOs::Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    ::sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;)
      ::pause();
  }
  struct timespec remaining = {static_cast<time_t>(milliseconds / 1000),
                               static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

DWORD PosixOs::GetCurrentThreadId() {
  return static_cast<DWORD>(::gettid());
}

BOOL PosixOs::SetCurrentThreadPriority(int priority) {
  // Best effort: a thread's nice value, two steps per priority level. Raising
  // a priority needs a privilege most accounts lack; the call succeeds anyway,
  // as scheduling is only a hint here.
  int nice_value = std::clamp(base_nice_ - 2 * priority, -20, 19);
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice_value);
  return TRUE;
}

std::unique_ptr<Os> CreatePosixOs(std::wstring* error) {
  std::signal(SIGPIPE, SIG_IGN);
  World world;
  if (!LoadWorldFromEnvironment(&world, error))
    return nullptr;
  auto os = std::make_unique<PosixOs>(std::move(world));
  if (os->world().faults.empty())
    return os;
  std::vector<WorldFault> faults = os->world().faults;
  return std::make_unique<FaultOs>(std::move(os), std::move(faults));
}

}  // namespace tarvik
