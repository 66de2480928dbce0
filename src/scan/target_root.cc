// Preparation of the target root: its two forms, a check that its server and
// share answer, and the creation of the missing directories above it. The
// target directory itself is created by the walk when it enters it.
#include "log/log.h"
#include "scan/dir_cmp.h"
#include "scan/path_forms.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

bool IsNetworkPathError(DWORD error) {
  return error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME;
}

// FindFirstFileW on path: ERROR_SUCCESS when something answers under it,
// else the error.
DWORD Probe(const std::wstring& path) {
  Os& os = Os::Current();
  WIN32_FIND_DATAW data{};
  Os::SetLastError(ERROR_SUCCESS);
  HANDLE find = os.FindFirstFileW(path.c_str(), &data);
  if (find != INVALID_HANDLE_VALUE && find != nullptr) {
    os.FindClose(find);
    return ERROR_SUCCESS;
  }
  DWORD error = Os::GetLastError();
  // A failure without an error code still means "not there".
  return error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error;
}

}  // namespace

bool DirCmp::PrepareTargetRoot(const std::wstring* path) {
  SetRootsSet(false);
  if (path == nullptr) {
    SetRootsSet(true);
    return true;
  }
  try {
    std::wstring normalized = NormalizeRootPath(*path);
    if (IsUnusableRootPath(*path, normalized)) {
      throw DirScanException(kFatal, Format(kUnusableRootMessage, *path), ERROR_INVALID_NAME);
    }
    target_root_ = normalized;
    target_root_long_ = LongFormOfRoot(normalized);
    EnsureTrailingBackslash(&target_root_);
    EnsureTrailingBackslash(&target_root_long_);
    BuildTargetPath(L"");
    ProbeAndCreateAncestors();
    SetRootsSet(true);
    return true;
  } catch (const DirScanException& exception) {
    ReportException(exception);
    return false;
  }
}

void DirCmp::ProbeAndCreateAncestors() {
  const std::wstring& long_form = target_root_long_;
  const std::ptrdiff_t volume_end = VolumePartEnd(long_form);
  const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(long_form.size()) - 1;
  if (volume_end >= last) {
    // A volume or share root: only the network part can fail.
    DWORD error = Probe(long_form);
    if (IsNetworkPathError(error)) {
      throw DirScanException(kFatal, Format(L"%s : Invalid Network path", long_form), error);
    }
    return;
  }

  // Upward: the nearest ancestor (or the target itself) that exists.
  std::ptrdiff_t cut = last;
  for (;;) {
    std::wstring probed = long_form.substr(0, static_cast<size_t>(cut));
    DWORD error = Probe(probed);
    if (error == ERROR_SUCCESS)
      break;
    if (IsNetworkPathError(error))
      throw DirScanException(kFatal, Format(L"%s : Invalid Network path", probed), error);
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      throw DirScanException(kFatal, Format(L"%s : Unexpected error when trying to access", probed),
                             error);
    }
    std::ptrdiff_t previous = cut - 1;
    while (previous > volume_end && !IsPathSeparatorAt(long_form, static_cast<size_t>(previous)))
      --previous;
    if (previous <= volume_end) {
      cut = volume_end;  // nothing exists below the volume part
      break;
    }
    cut = previous;
  }

  // Downward: every missing ancestor of the target, not the target itself.
  Os& os = Os::Current();
  for (std::ptrdiff_t i = cut + 1; i < last; ++i) {
    if (!IsPathSeparatorAt(long_form, static_cast<size_t>(i)))
      continue;
    std::wstring directory = long_form.substr(0, static_cast<size_t>(i));
    if (Settings().listOnly) {
      if (!Settings().quiet)
        LogWarning(L"Missing directory %s will be created", directory);
      continue;
    }
    if (os.CreateDirectoryW(directory.c_str(), nullptr)) {
      LogWarning(L"Missing directory %s has been created successfully", directory);
    } else if (Os::GetLastError() != ERROR_ALREADY_EXISTS) {
      throw DirScanException(kFatal, L"Unable to create an intermediate target directory");
    }
  }
}

}  // namespace tarvik
