#include "scan_fixture.h"

#include <algorithm>

#include "platform/os.h"

namespace tarvik {

int RecordingCmp::OnEnterTargetDirectory() {
  events.push_back(L"enter-target " + target_path());
  TargetDir* state = GetTargetDir();
  state->file_map.clear();
  state->dir_map.clear();
  Os& os = Os::Current();
  std::wstring pattern = target_path() + L"*";
  WIN32_FIND_DATAW data;
  HANDLE find = os.FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE)
    return 1;
  do {
    auto entry = std::make_unique<FindData>();
    entry->data = data;
    if (!entry->IsDotOrDotDot())
      state->AddEntry(std::move(entry));
  } while (os.FindNextFileW(find, &data));
  os.FindClose(find);
  return 1;
}

std::unique_ptr<FindData> RecordingCmp::OnTargetDirectoryMissing() {
  events.push_back(L"dir-missing " + target_path());
  if (!create_missing)
    return nullptr;
  Os& os = Os::Current();
  std::wstring path = target_path();
  while (!path.empty() && path.back() == L'\\')
    path.pop_back();
  auto entry = std::make_unique<FindData>();
  if (!os.CreateDirectoryW(path.c_str(), nullptr)) {
    // The name may be taken by a file: hand back what is there.
    if (GetFileInfo(path, &entry->data, 0))
      return entry;
    return nullptr;
  }
  GetFileInfo(path, &entry->data, 0);
  return entry;
}

int RecordingCmp::OnTargetFilesLeft(TargetDir::EntryMap& files) {
  std::vector<std::wstring> names;
  for (const auto& [key, entry] : files)
    names.push_back(key);
  std::sort(names.begin(), names.end());
  for (const std::wstring& name : names)
    events.push_back(L"left " + name);
  return 1;
}

std::vector<std::wstring> EventsStartingWith(const std::vector<std::wstring>& events,
                                             const std::wstring& prefix) {
  std::vector<std::wstring> result;
  for (const std::wstring& event : events) {
    if (event.starts_with(prefix))
      result.push_back(event);
  }
  return result;
}

}  // namespace tarvik
