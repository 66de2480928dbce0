// The SID map file, which an administrator or anyone with write access to it
// provides: any bytes read as a whole file give messages and a table, never a
// crash, and the table holds exactly what was loaded.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/posix/host_world.h"
#include "platform/posix/posix_os.h"
#include "server/server.h"
#include "settings/copy_settings.h"
#include "translate/sid_map_file.h"

namespace {

// Two accounts known on either server; every other name is unknown. No
// lookup reaches the platform: an account is held as a named domain SID.
tarvik::SId Resolve(const std::wstring& server, std::wstring_view name) {
  tarvik::SId sid = tarvik::SId::Null();
  if (name != L"alice" && name != L"Sales")
    return sid;
  const uint8_t host = server == L"\\\\FS1" ? 1 : 2;
  const uint8_t account = name == L"alice" ? 1 : 2;
  const uint8_t domain[] = {1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, host, account, 0, 0};
  sid.AssignDomain(tarvik::SidBytes(domain, sizeof domain), std::wstring(name));
  return sid;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The messages go to standard output: not to the terminal.
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  static std::unique_ptr<tarvik::Os> os =
      std::make_unique<tarvik::PosixOs>(tarvik::MakeHostWorld());
  tarvik::Os::Install(os.get());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarvik::Server source;
  source.name = L"\\\\FS1";
  source.qualifiedName = L"\\\\FS1.CORP";
  tarvik::Server target;
  target.name = L"\\\\FS2";
  target.qualifiedName = L"\\\\FS2.CORP";
  tarvik::SidMapTable table;
  tarvik::SidMapReader reader(source, target, &table, Resolve);
  tarvik::ReadSidMapText(std::string_view(reinterpret_cast<const char*>(data), size), &reader);
  const tarvik::SidMapCounts& counts = reader.counts();
  if (table.size() != static_cast<size_t>(counts.mappings + counts.revoked))
    std::abort();
  return 0;
}
