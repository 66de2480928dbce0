// Preparation of the target root: its two forms, a check that its server and
// share answer, a check that it and the source are two separate trees, and
// the creation of the missing directories above it. The target directory
// itself is created by the walk when it enters it.
#include <algorithm>
#include <vector>

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

// Two names of one object share these, whatever their letter case, drive,
// share or prefix; two objects never do.
struct ObjectIdentity {
  DWORD volume = 0;
  uint64_t index = 0;
  bool operator==(const ObjectIdentity&) const = default;
};

// False, with the failing call's error as the last error, when the object
// cannot be opened or queried.
bool Identify(const std::wstring& path, ObjectIdentity* identity) {
  Os& os = Os::Current();
  HANDLE handle = os.CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
    return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL queried = os.GetFileInformationByHandle(handle, &info);
  const DWORD error = Os::GetLastError();
  os.CloseHandle(handle);
  Os::SetLastError(error);
  if (!queried)
    return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The identities of an object and of its parents up to the volume root,
// nearest first. With missing, the nearest ones may not exist yet: they are
// left out and counted there. One that cannot be read leaves the question
// open, and an open question stops the run: a wrong guess could copy a tree
// onto itself.
std::vector<ObjectIdentity> IdentifyChain(const std::wstring& long_path, size_t* missing) {
  std::vector<ObjectIdentity> chain;
  for (const std::wstring& path : SelfAndParents(long_path)) {
    ObjectIdentity identity;
    if (!Identify(path, &identity)) {
      const DWORD error = Os::GetLastError();
      if (missing != nullptr && chain.empty() && IsMissing(error)) {
        ++*missing;
        continue;
      }
      throw DirScanException(
          kFatal,
          Format(L"%s : Unable to check that the source and the destination are apart", path),
          error);
    }
    chain.push_back(identity);
  }
  return chain;
}

bool Holds(const std::vector<ObjectIdentity>& chain, size_t from, const ObjectIdentity& identity) {
  return std::find(chain.begin() + static_cast<std::ptrdiff_t>(std::min(from, chain.size())),
                   chain.end(), identity) != chain.end();
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
    const std::ptrdiff_t existing_end = FindExistingTargetPart();
    RefuseOverlappingRoots();  // before anything is created on the target
    CreateMissingAncestors(existing_end);
    SetRootsSet(true);
    return true;
  } catch (const DirScanException& exception) {
    ReportException(exception);
    return false;
  }
}

std::ptrdiff_t DirCmp::FindExistingTargetPart() {
  const std::wstring& long_form = target_root_long_;
  const std::ptrdiff_t volume_end = VolumePartEnd(long_form);
  const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(long_form.size()) - 1;
  if (volume_end >= last) {
    // A volume or share root: only the network part can fail.
    DWORD error = Probe(long_form);
    if (IsNetworkPathError(error)) {
      throw DirScanException(kFatal, Format(L"%s : Invalid Network path", long_form), error);
    }
    return last;
  }

  // Upward: the nearest ancestor (or the target itself) that exists.
  std::ptrdiff_t cut = last;
  for (;;) {
    std::wstring probed = long_form.substr(0, static_cast<size_t>(cut));
    DWORD error = Probe(probed);
    if (error == ERROR_SUCCESS)
      return cut;
    if (IsNetworkPathError(error))
      throw DirScanException(kFatal, Format(L"%s : Invalid Network path", probed), error);
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      throw DirScanException(kFatal, Format(L"%s : Unexpected error when trying to access", probed),
                             error);
    }
    std::ptrdiff_t previous = cut - 1;
    while (previous > volume_end && !IsPathSeparatorAt(long_form, static_cast<size_t>(previous)))
      --previous;
    if (previous <= volume_end)
      return volume_end;  // nothing exists below the volume part
    cut = previous;
  }
}

void DirCmp::RefuseOverlappingRoots() {
  if (source_root_long_.empty())
    return;  // no source to compare with
  const std::vector<ObjectIdentity> source = IdentifyChain(source_root_long_, nullptr);
  size_t missing = 0;
  const std::vector<ObjectIdentity> target = IdentifyChain(target_root_long_, &missing);
  // The target, or its nearest existing ancestor, comes first.
  const bool target_exists = missing == 0;
  if (target_exists && target.front() == source.front()) {
    throw DirScanException(kFatal,
                           Format(L"%s and %s are the same directory: the source and the "
                                  L"destination must be different trees.",
                                  source_root_, target_root_),
                           ERROR_SUCCESS);
  }
  if (Holds(target, target_exists ? 1 : 0, source.front())) {
    throw DirScanException(kFatal,
                           Format(L"The destination %s lies inside the source %s: the source "
                                  L"and the destination must be different trees.",
                                  target_root_, source_root_),
                           ERROR_SUCCESS);
  }
  if (target_exists && Holds(source, 1, target.front())) {
    throw DirScanException(kFatal,
                           Format(L"The source %s lies inside the destination %s: the source "
                                  L"and the destination must be different trees.",
                                  source_root_, target_root_),
                           ERROR_SUCCESS);
  }
}

void DirCmp::CreateMissingAncestors(std::ptrdiff_t existing_end) {
  // Downward: every missing ancestor of the target, not the target itself.
  const std::wstring& long_form = target_root_long_;
  const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(long_form.size()) - 1;
  Os& os = Os::Current();
  for (std::ptrdiff_t i = existing_end + 1; i < last; ++i) {
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
