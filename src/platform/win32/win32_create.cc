// The Os of a Windows build, and how faults reach it: the machine is real,
// so a world file means nothing here, and a fault file stands in for the
// world's "faults".
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fault_os.h"
#include "platform/win32/win32_os.h"
#include "platform/world_loader.h"
#include "util/utf.h"

#include "platform/win32/win32_call.h"

namespace tarvik {
namespace {

// The value of an environment variable; false when it is not set.
bool Variable(const wchar_t* name, std::wstring* value) {
  const ::DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0)
    return false;
  value->assign(size, L'\0');
  const ::DWORD length = ::GetEnvironmentVariableW(name, value->data(), size);
  value->resize(length < size ? length : 0);
  return true;
}

bool ReadFaults(const std::wstring& file_name, std::vector<WorldFault>* faults,
                std::wstring* error) {
  std::ifstream in(std::filesystem::path(file_name), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    *error = L"fault file " + file_name + L" (TARVIK_FAULTS) cannot be read";
    return false;
  }
  return ParseFaultFile(text.str(), ToUtf8(file_name), faults, error);
}

}  // namespace

std::unique_ptr<Os> CreateWin32Os(std::wstring* error) {
  std::wstring value;
  if (Variable(L"TARVIK_WORLD", &value)) {
    *error = L"TARVIK_WORLD is set (" + value +
             L"), but a world describes a simulated machine and this is Windows itself: unset "
             L"it (faults come from a file named by TARVIK_FAULTS)";
    return nullptr;
  }
  auto os = std::make_unique<Win32Os>();
  if (!Variable(L"TARVIK_FAULTS", &value) || value.empty())
    return os;
  std::vector<WorldFault> faults;
  if (!ReadFaults(value, &faults, error))
    return nullptr;
  return std::make_unique<FaultOs>(std::move(os), std::move(faults));
}

}  // namespace tarvik
