#include "driver/command_line.h"

#include "driver/switch_registry.h"
#include "log/log.h"

namespace tarvik {
namespace {

bool HasWildcard(const std::wstring& path) {
  return path.find_first_of(L"?*") != std::wstring::npos;
}

bool CheckPositionalArguments(std::span<const std::wstring> args) {
  if (args.size() < 3) {
    LogText(L"\n Arguments are missing.\n");
    return false;
  }
  if (HasWildcard(args[1])) {
    LogText(L"\n There is at least one wildcard character in the \"srcdir\" argument.\n");
    return false;
  }
  if (HasWildcard(args[2])) {
    LogText(L"\n There is at least one wildcard character in the \"destdir\" argument.\n");
    return false;
  }
  if (args[1] == args[2]) {
    LogText(L"\n source and destination directories must be different.\n");
    return false;
  }
  return true;
}

}  // namespace

bool ReadCommandLine(std::span<const std::wstring> args, const SwitchRegistry& registry,
                     CommandLine* command, CopySettings* settings) {
  if (!CheckPositionalArguments(args))
    return false;
  command->sourceDir = args[1];
  command->destinationDir = args[2];
  size_t first_switch = 3;
  while (first_switch < args.size() && !args[first_switch].starts_with(L'/'))
    ++first_switch;
  settings->filePatterns.assign(args.begin() + 3, args.begin() + first_switch);
  return registry.ParseSwitches(args.subspan(first_switch));
}

}  // namespace tarvik
