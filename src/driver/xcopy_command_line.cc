#include "driver/xcopy_command_line.h"

#include "driver/usage.h"
#include "log/log.h"
#include "platform/os.h"

namespace tarvik {
namespace {

#ifdef _WIN32
constexpr bool kHostPathsBeginWithSlash = false;
#else
constexpr bool kHostPathsBeginWithSlash = true;
#endif

// A '/' argument that the parser would refuse, but that a user of a host
// where paths begin with '/' means as a path. A single component is taken
// only when it exists, so that a mistyped switch ("/y") is still refused.
bool NamesHostPath(const std::wstring& arg, const SwitchRegistry& registry) {
  std::optional<std::wstring_view> value;
  if (registry.FindSwitch(std::wstring_view(arg).substr(1), &value) != nullptr)
    return false;
  if (arg.find(L'/', 1) != std::wstring::npos)
    return true;
  return Os::Current().GetFileAttributesW(arg.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void RegisterXcopySwitches(SwitchRegistry* registry, CopySettings* settings,
                           XcopyCommandLine* command) {
  registry->RegisterFlagSwitch(L"?", &command->help);
  // /d is the main command line's /d: newer files only, never /de.
  registry->RegisterFlagSwitch(L"d", &settings->timeSelection);
  registry->RegisterFlagSwitch(L"s", &settings->recurse);
  registry->RegisterFlagSwitch(L"e", &settings->recurse);
  registry->RegisterFlagSwitch(L"c", &settings->continueOnError);
  registry->RegisterFlagSwitch(L"q", &settings->quiet);
  registry->RegisterFlagSwitch(L"f", &settings->fullPaths);
  registry->RegisterFlagSwitch(L"l", &settings->listOnly);
  registry->RegisterFlagSwitch(L"z", &command->restartable);
  registry->RegisterFlagSwitch(L"dbg", &settings->debug);
}

bool IsXcopyDestination(const std::wstring& arg, const SwitchRegistry& registry) {
  if (!arg.starts_with(L'/'))
    return true;
  return kHostPathsBeginWithSlash && NamesHostPath(arg, registry);
}

bool ReadXcopyCommandLine(std::span<const std::wstring> args, const SwitchRegistry& registry,
                          XcopyCommandLine* command) {
  command->source = args[1];
  size_t first_switch = 2;
  if (args.size() > 2 && IsXcopyDestination(args[2], registry)) {
    command->destination = args[2];
    first_switch = 3;
  }
  return registry.ParseSwitches(args.subspan(first_switch));
}

int PrintXcopyUsage() {
  LogText(
      L"\n Copies files and directories trees.\n"
      L" Usage: XCOPY source [destination] [/D] [/E] [/S] [/C] [/Q] [/F] [/L] [/Z]\n\n"
      L"  source       Specifies the file(s) to copy.\n"
      L"  destination  Specifies the location of new files.\n"
      L"  /D           Copies files whose source time is newer than the destination\n"
      L"               timechanged.\n"
      L"  /S or /E     Copies directories and subdirectories, including empty ones.\n"
      L"  /C           Continues copying even if errors occur.\n"
      L"  /Q           Does not display file names while copying.\n"
      L"  /F           Displays full source and destination file names while copying.\n"
      L"  /L           Displays files that would be copied.\n"
      L"  /Z           Copies networked files in restartable mode.\n\n");
  return kExitCritical;
}

}  // namespace tarvik
