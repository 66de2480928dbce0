// PosixOs: volumes and drives (GetDiskFreeSpaceExW, GetDriveTypeW), as the
// world describes them.
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/posix/errno_map.h"
#include "platform/posix/file_lookup.h"
#include "platform/posix/posix_os.h"
#include "util/text.h"

namespace tarvik {
namespace {

struct SpaceFigures {
  uint64_t free_to_caller = 0;
  uint64_t total = 0;
  uint64_t free = 0;
};

// The figures file holds "free total" or "free total available" in decimal.
DWORD ReadFiguresFile(const std::string& path, SpaceFigures* figures) {
  std::ifstream in(path);
  if (!in)
    return ERROR_NOT_READY;
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(text);
  uint64_t values[3];
  int count = 0;
  std::string word;
  while (fields >> word) {
    if (count == 3 || word.find_first_not_of("0123456789") != std::string::npos)
      return ERROR_INVALID_DATA;
    errno = 0;
    values[count++] = std::strtoull(word.c_str(), nullptr, 10);
    if (errno == ERANGE)
      return ERROR_INVALID_DATA;
  }
  if (count < 2 || values[0] > values[1] || (count == 3 && values[2] > values[0]))
    return ERROR_INVALID_DATA;
  figures->free = values[0];
  figures->total = values[1];
  figures->free_to_caller = count == 3 ? values[2] : values[0];
  return ERROR_SUCCESS;
}

DWORD VolumeFigures(const WorldVolume* volume, const std::string& host, SpaceFigures* figures) {
  if (volume != nullptr && volume->total_bytes && volume->free_bytes) {
    figures->total = *volume->total_bytes;
    figures->free = *volume->free_bytes;
    figures->free_to_caller = volume->available_bytes.value_or(figures->free);
    return ERROR_SUCCESS;
  }
  if (volume != nullptr && !volume->figures_file.empty())
    return ReadFiguresFile(volume->figures_file, figures);
  struct statvfs host_figures;
  if (::statvfs(host.c_str(), &host_figures) != 0)
    return HostError(errno, host);
  uint64_t unit = host_figures.f_frsize != 0 ? host_figures.f_frsize : host_figures.f_bsize;
  figures->total = static_cast<uint64_t>(host_figures.f_blocks) * unit;
  figures->free = static_cast<uint64_t>(host_figures.f_bfree) * unit;
  figures->free_to_caller = static_cast<uint64_t>(host_figures.f_bavail) * unit;
  return ERROR_SUCCESS;
}

bool IsDriveRoot(std::wstring_view text) {
  bool letter = text.size() >= 2 && text[1] == L':' &&
                ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'));
  return letter &&
         (text.size() == 2 || (text.size() == 3 && (text[2] == L'\\' || text[2] == L'/')));
}

}  // namespace

BOOL PosixOs::GetDiskFreeSpaceExW(const wchar_t* directory, ULARGE_INTEGER* free_to_caller,
                                  ULARGE_INTEGER* total_bytes, ULARGE_INTEGER* total_free) {
  std::wstring name = directory != nullptr ? directory : resolver_.current_directory();
  ResolvedPath resolved;
  HostInfo info;
  DWORD error = ResolveExisting(resolver_, name.c_str(), &resolved, &info);
  if (error == ERROR_FILE_NOT_FOUND)
    error = ERROR_PATH_NOT_FOUND;
  if (error == ERROR_SUCCESS && !info.is_directory)
    error = ERROR_DIRECTORY;
  SpaceFigures figures;
  if (error == ERROR_SUCCESS)
    error = VolumeFigures(resolved.volume, resolved.host, &figures);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  if (free_to_caller != nullptr)
    free_to_caller->QuadPart = figures.free_to_caller;
  if (total_bytes != nullptr)
    total_bytes->QuadPart = figures.total;
  if (total_free != nullptr)
    total_free->QuadPart = figures.free;
  return TRUE;
}

UINT PosixOs::GetDriveTypeW(const wchar_t* root_path) {
  std::wstring text = root_path != nullptr ? root_path : resolver_.current_directory();
  if (root_path == nullptr && IsDriveRoot(text.substr(0, 2)))
    text.resize(2);
  if (text.substr(0, 4) == L"\\\\?\\" && IsDriveRoot(text.substr(4)))
    text.erase(0, 4);
  if (IsDriveRoot(text)) {
    const WorldDrive* drive = world_.FindDrive(text[0]);
    return drive == nullptr ? DRIVE_NO_ROOT_DIR : static_cast<UINT>(drive->type);
  }
  ResolvedPath resolved;
  if (resolver_.Resolve(text, &resolved) != ERROR_SUCCESS)
    return DRIVE_NO_ROOT_DIR;
  if (resolved.server != nullptr)
    return resolved.IsRoot() ? DRIVE_REMOTE : DRIVE_NO_ROOT_DIR;
  // A host path: the type of the drive it is the root of, else the host's
  // own file system.
  if (resolved.drive != nullptr && resolved.drive->host_path == resolved.host)
    return static_cast<UINT>(resolved.drive->type);
  HostInfo info;
  if (ReadHostInfo(HostObject{resolved.host, -1}, &info) != 0 || !info.is_directory)
    return DRIVE_NO_ROOT_DIR;
  return DRIVE_FIXED;
}

}  // namespace tarvik
