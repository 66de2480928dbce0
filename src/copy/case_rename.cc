// A target that matches its source only when case is ignored takes the
// source's spelling (with /nocase, the lower-cased name).
#include "copy/dir_copy.h"
#include "log/log.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

std::wstring WithoutTrailingSeparator(std::wstring path) {
  if (!path.empty() && path.back() == L'\\')
    path.pop_back();
  return path;
}

// "...\dir\" for "...\dir\name".
std::wstring ParentPathOf(const std::wstring& path) {
  const size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

std::wstring LastNameOf(const std::wstring& path) {
  const size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace

bool DirCopy::RenameTarget(const std::wstring& old_path, const std::wstring& new_path,
                           const wchar_t* failure_format) {
  const CopySettings& s = Settings();
  if (s.listOnly)
    return true;
  ResetRetries();
  try {
    while (!Os::Current().MoveFileW(old_path.c_str(), new_path.c_str()))
      RetryOrThrow(failure_format, old_path, new_path);
    return true;
  } catch (const DirScanException& e) {
    resultBits_ |= kResultDataError;
    if (e.IsFatal() || !s.continueOnError)
      throw;
    ReportException(e);
    return false;
  }
}

void DirCopy::OnFileCaseDiffers(FindData& target) {
  const std::wstring new_path = target_path_;
  const std::wstring old_path = ParentPathOf(new_path) + std::wstring(target.LongName());
  if (!RenameTarget(old_path, new_path, L"%s -> unable to rename this file to %s"))
    return;
  ++counters_.filesRenamed;
  target.SetLongName(LastNameOf(new_path));
  LogWarning(L"%s -> renamed to %s", old_path, new_path);
}

void DirCopy::OnDirectoryCaseDiffers(const std::wstring& name) {
  TargetDir* state = TopTargetDir();
  if (state == nullptr)
    return;
  const std::wstring new_path = WithoutTrailingSeparator(target_path_);
  const std::wstring target_name =
      state->own_entry != nullptr ? std::wstring(state->own_entry->LongName()) : state->name;
  const std::wstring old_path = ParentPathOf(new_path) + target_name;
  if (!RenameTarget(old_path, new_path, L"%s -> unable to rename this directory to %s"))
    return;
  ++counters_.directoriesRenamed;
  state->name = name;
  if (state->own_entry != nullptr)
    state->own_entry->SetLongName(name);
  LogWarning(L"%s -> renamed to %s", old_path, new_path);
}

}  // namespace tarvik
