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
#include <iterator>
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

// A file made by this run whose writing never ended (a copy that failed
// and whose target could not be deleted) still gets the descriptor it
// inherited.
PosixOs::~PosixOs() {
  StoreAllHeldDescriptors();
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

void PosixOs::GetSystemInfo(SYSTEM_INFO* info) {
  *info = SYSTEM_INFO{};
  info->wProcessorArchitecture = world_.os.processor_architecture;
  switch (info->wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      info->dwProcessorType = PROCESSOR_AMD_X8664;
      break;
    case PROCESSOR_ARCHITECTURE_IA64:
      info->dwProcessorType = PROCESSOR_INTEL_IA64;
      break;
    case PROCESSOR_ARCHITECTURE_INTEL:
      info->dwProcessorType = PROCESSOR_INTEL_386;
      break;
  }
  long page = ::sysconf(_SC_PAGESIZE);
  info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
  info->dwAllocationGranularity = std::max<DWORD>(info->dwPageSize, 65536);
  // The range a process may map: above the first allocation unit, below the
  // top of the user address space.
  info->lpMinimumApplicationAddress = reinterpret_cast<void*>(uintptr_t{65536});
  const uintptr_t top = sizeof(void*) == 8 ? uintptr_t{0x7FFFFFFEFFFF} : uintptr_t{0x7FFEFFFF};
  info->lpMaximumApplicationAddress = reinterpret_cast<void*>(top);
  long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
  info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
  const DWORD bits = std::min<DWORD>(info->dwNumberOfProcessors, sizeof(uintptr_t) * 8);
  info->dwActiveProcessorMask =
      bits >= sizeof(uintptr_t) * 8 ? ~uintptr_t{0} : (uintptr_t{1} << bits) - 1;
}

// This process is never emulated: the machine is what it sees.
void PosixOs::GetNativeSystemInfo(SYSTEM_INFO* info) {
  GetSystemInfo(info);
}

BOOL PosixOs::GetVersionExW(OSVERSIONINFOEXW* info) {
  if (info == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  const WorldOsVersion& os = world_.os;
  *info = OSVERSIONINFOEXW{};
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  info->dwMajorVersion = os.major;
  info->dwMinorVersion = os.minor;
  info->dwBuildNumber = os.build;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  // The world holds at most 127 characters, so the NUL always fits.
  const size_t length = std::min(os.service_pack.size(), std::size(info->szCSDVersion) - 1);
  std::copy_n(os.service_pack.begin(), length, info->szCSDVersion);
  info->wServicePackMajor = os.service_pack_major;
  info->wServicePackMinor = os.service_pack_minor;
  info->wSuiteMask = os.suite_mask;
  info->wProductType = static_cast<BYTE>(os.product_type);
  return TRUE;
}

BOOL PosixOs::GetProductInfo(DWORD, DWORD, DWORD, DWORD, DWORD* product_type) {
  if (product_type == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  *product_type = PRODUCT_UNDEFINED;
  if (world_.os.major < 6)
    return Fail(ERROR_CALL_NOT_IMPLEMENTED);
  *product_type = world_.os.product_info;
  return TRUE;
}

int PosixOs::GetSystemMetrics(int index) {
  // An R2 release answers with its build number, as the system does.
  if (index == SM_SERVERR2 && world_.os.server_r2)
    return static_cast<int>(std::max<DWORD>(world_.os.build, 1));
  return 0;
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
  // Best effort: a thread's nice value, two steps per level below normal.
  // Levels above normal stay at the process's value: every hand-over of a
  // file wakes a worker, and a raised one would take the processor from the
  // thread that woke it each time (about 6% more processor time on a copy
  // of small files); most accounts lack the privilege to raise anyway. The
  // call succeeds, as scheduling is only a hint here.
  int nice_value = std::clamp(base_nice_ - 2 * std::min(priority, 0), -20, 19);
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
