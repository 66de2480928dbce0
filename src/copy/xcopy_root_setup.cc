// The roots of the XCOPY front end: its source argument names a directory, a
// file or a pattern, and its target may be left out.
#include <vector>

#include "copy/root_setup.h"
#include "log/log.h"
#include "scan/name_filters.h"
#include "settings/copy_settings.h"
#include "translate/sd_translator.h"
#include "translate/translator_init.h"

namespace tarvik {
namespace {

// The absolute form of path, as GetFullPathNameW gives it.
std::wstring AbsolutePath(const std::wstring& path) {
  Os& os = Os::Current();
  std::vector<wchar_t> buffer(path.size() + 260);
  for (;;) {
    const DWORD length = os.GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                             buffer.data(), nullptr);
    if (length == 0)
      break;
    if (length < buffer.size())
      return std::wstring(buffer.data(), length);
    buffer.resize(length);
  }
  throw DirScanException(kOutOfMemory, L"DirCopy::SetRootPathCopy2 : unable to allocate memory");
}

// Splits an absolute source into the directory to walk and the name that
// selects its files (empty: the whole directory). The directory keeps its
// separator, so that a file at the root of a drive gives "C:\", not "C:",
// which would name the drive's current directory. False when the source
// does not exist.
bool SplitSource(DirCopy* engine, const std::wstring& source, std::wstring* directory,
                 std::wstring* name) {
  // A host path that lies on no drive keeps its '/' separators.
  const size_t separator = source.find_last_of(L"\\/");
  const std::wstring last = separator == std::wstring::npos ? source : source.substr(separator + 1);
  *directory = source;
  name->clear();
  if (last.find(L'*') == std::wstring::npos) {
    WIN32_FIND_DATAW data{};
    if (!engine->GetFileInfo(source, &data, 0)) {
      LogText(L"The file or directory could not be found: %s\n", source);
      return false;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      return true;
    Settings().recurse = 0;
  }
  if (separator != std::wstring::npos) {
    *directory = source.substr(0, separator + 1);
    *name = last;
  }
  return true;
}

}  // namespace

bool SetRootPathCopy2(DirCopy* engine, const std::wstring& source, const std::wstring* target) {
  const CopySettings& s = Settings();
  const std::wstring full_source = AbsolutePath(source);
  const std::wstring full_target = AbsolutePath(target != nullptr ? *target : L".");
  try {
    std::wstring directory, name;
    if (!SplitSource(engine, full_source, &directory, &name))
      return false;
    // Only the file or the files the source names are copied, not the rest
    // of their directory.
    if (!name.empty() && !NameFilters::SetFileFilter(std::vector<std::wstring>{name}))
      return false;
    if (!engine->SetSourceRoot(directory) || !engine->PrepareTargetRoot(full_target))
      return false;
    const bool accounts = s.securityMode != SecurityMode::None;
    RunServers& servers = TheRunServers();
    if (!servers.source.GetFromPath(directory, accounts) ||
        !servers.target.GetFromPath(full_target, accounts)) {
      return false;
    }
    PrintServerReport(servers.source, servers.target);
    TheSdTranslator().copyDacl = true;
    if (s.securityMode == SecurityMode::None)
      return true;
    return InitSecurityTranslation(servers.source, servers.target, s.securityMode, s.listOnly);
  } catch (const DirScanException& e) {
    engine->ReportException(e);
    return false;
  }
}

}  // namespace tarvik
