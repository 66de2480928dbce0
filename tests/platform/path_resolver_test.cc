#include "platform/posix/path_resolver.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/win_error.h"
#include "util/utf.h"

namespace tarvik {
namespace {

WorldDrive Drive(wchar_t letter, WorldDrive::Type type, std::string host_path,
                 std::wstring remote = L"", bool connected = true) {
  WorldDrive drive;
  drive.letter = letter;
  drive.type = type;
  drive.host_path = std::move(host_path);
  if (!remote.empty())
    drive.connection = WorldConnection{remote, connected, L""};
  return drive;
}

WorldServer Server(std::wstring name, std::wstring share, std::string path, bool reachable = true) {
  WorldServer server;
  server.name = std::move(name);
  server.reachable = reachable;
  if (!share.empty()) {
    WorldShare entry;
    entry.name = std::move(share);
    entry.host_path = std::move(path);
    server.shares.push_back(entry);
  }
  return server;
}

class PathResolverTest : public testing::Test {
 protected:
  PathResolverTest() {
    world_.computer = L"PC";
    world_.drives[L'C'] = Drive(L'C', WorldDrive::Type::kFixed, "/hostc");
    world_.drives[L'D'] = Drive(L'D', WorldDrive::Type::kRemovable, "");
    world_.drives[L'E'] = Drive(L'E', WorldDrive::Type::kCdrom, "");
    world_.drives[L'U'] = Drive(L'U', WorldDrive::Type::kUnmounted, "");
    world_.drives[L'M'] = Drive(L'M', WorldDrive::Type::kRemote, "", L"\\\\SRV\\pub");
    world_.drives[L'N'] = Drive(L'N', WorldDrive::Type::kRemote, "", L"\\\\SRV\\pub", false);
    world_.servers.push_back(Server(L"PC", L"", ""));
    world_.servers.push_back(Server(L"SRV", L"pub", "/srv/pub"));
    world_.servers.back().dns_name = L"srv.example.com";
    world_.servers.push_back(Server(L"OFF", L"x", "/off/x", false));
  }

  // The host path, or "error N".
  std::string Host(const std::wstring& path, const std::wstring& cwd = L"C:\\work") {
    PathResolver resolver(world_, cwd);
    ResolvedPath resolved;
    DWORD error = resolver.Resolve(path, &resolved);
    if (error != ERROR_SUCCESS)
      return "error " + std::to_string(error);
    return resolved.host;
  }

  std::wstring Full(const std::wstring& path) {
    PathResolver resolver(world_, L"C:\\work");
    ResolvedPath resolved;
    EXPECT_EQ(resolver.Resolve(path, &resolved), ERROR_SUCCESS) << ToUtf8(path);
    return resolved.full;
  }

  World world_;
};

TEST_F(PathResolverTest, DrivePathsInEveryForm) {
  EXPECT_EQ(Host(L"C:\\a\\b"), "/hostc/a/b");
  EXPECT_EQ(Host(L"c:/a/b"), "/hostc/a/b");
  EXPECT_EQ(Host(L"C:\\"), "/hostc");
  EXPECT_EQ(Host(L"\\\\?\\C:\\a\\b"), "/hostc/a/b");
  EXPECT_EQ(Host(L"\\\\?\\C:\\"), "/hostc");
  EXPECT_EQ(Full(L"c:/a//b"), L"C:\\a\\b");
}

TEST_F(PathResolverTest, NormalisationStopsAtTheRoot) {
  EXPECT_EQ(Host(L"C:\\a\\..\\..\\b"), "/hostc/b");
  EXPECT_EQ(Host(L"C:\\a\\.\\b."), "/hostc/a/b");
  EXPECT_EQ(Host(L"C:\\a.\\b"), "/hostc/a/b");
  EXPECT_EQ(Host(L"C:\\a...\\b"), "/hostc/a.../b");
  EXPECT_EQ(Host(L"C:\\a\\b . ."), "/hostc/a/b");
  EXPECT_EQ(Host(L"\\\\SRV\\pub\\..\\..\\x"), "/srv/pub/x");
  // The long form is taken literally: no "..", no stripping.
  EXPECT_EQ(Host(L"\\\\?\\C:\\a\\..\\b"), "error 123");
  EXPECT_EQ(Host(L"\\\\?\\C:\\b."), "/hostc/b.");
}

TEST_F(PathResolverTest, RelativePathsUseTheCurrentDirectory) {
  EXPECT_EQ(Host(L"x"), "/hostc/work/x");
  EXPECT_EQ(Host(L"..\\y"), "/hostc/y");
  EXPECT_EQ(Host(L"\\z"), "/hostc/z");
  EXPECT_EQ(Host(L"C:rel"), "/hostc/work/rel");
  EXPECT_EQ(Host(L"x", L"\\\\SRV\\pub\\dir"), "/srv/pub/dir/x");
  EXPECT_EQ(Host(L"\\z", L"\\\\SRV\\pub\\dir"), "/srv/pub/z");
  EXPECT_EQ(Host(L"x", L"/tmp"), "/tmp/x");
}

TEST_F(PathResolverTest, NetworkPathsGoThroughTheWorldsShares) {
  EXPECT_EQ(Host(L"\\\\SRV\\pub\\a"), "/srv/pub/a");
  EXPECT_EQ(Host(L"//srv/PUB/a"), "/srv/pub/a");
  EXPECT_EQ(Host(L"\\\\srv.example.com\\pub\\a"), "/srv/pub/a");
  EXPECT_EQ(Host(L"\\\\?\\UNC\\SRV\\pub\\a"), "/srv/pub/a");
  EXPECT_EQ(Full(L"\\\\srv\\PUB\\a"), L"\\\\SRV\\pub\\a");
  EXPECT_EQ(Host(L"\\\\NOPE\\pub\\a"), "error 53");  // ERROR_BAD_NETPATH
  EXPECT_EQ(Host(L"\\\\OFF\\x\\a"), "error 53");     // unreachable
  EXPECT_EQ(Host(L"\\\\SRV\\nope\\a"), "error 67");  // ERROR_BAD_NET_NAME
  EXPECT_EQ(Host(L"\\\\SRV"), "error 161");
  // The local computer's drives are its administrative shares.
  EXPECT_EQ(Host(L"\\\\PC\\C$\\a"), "/hostc/a");
  EXPECT_EQ(Host(L"\\\\SRV\\C$\\a"), "error 67");
  // A mapped drive, connected or only remembered.
  EXPECT_EQ(Host(L"M:\\a"), "/srv/pub/a");
  EXPECT_EQ(Host(L"N:\\a"), "/srv/pub/a");
}

TEST_F(PathResolverTest, DrivesWithoutAVolume) {
  EXPECT_EQ(Host(L"E:\\a"), "error 21");  // ERROR_NOT_READY: no medium
  EXPECT_EQ(Host(L"D:rel"), "error 21");
  EXPECT_EQ(Host(L"U:\\a"), "error 3");  // unmounted
  EXPECT_EQ(Host(L"Q:\\a"), "error 3");  // no such drive
}

TEST_F(PathResolverTest, HostPathsAreShownOnTheDriveThatHoldsThem) {
  EXPECT_EQ(Host(L"/etc/x"), "/etc/x");
  EXPECT_EQ(Full(L"/etc/x"), L"/etc/x");
  EXPECT_EQ(Host(L"/hostc/a\\b"), "/hostc/a/b");
  EXPECT_EQ(Full(L"/hostc/a\\b"), L"C:\\a\\b");
  EXPECT_EQ(Full(L"/hostc"), L"C:\\");
  EXPECT_EQ(Full(L"/hostcx/a"), L"/hostcx/a");
  EXPECT_EQ(Host(L"\\\\?\\/etc/x"), "/etc/x");
  EXPECT_EQ(Host(L"\\\\?\\UNC\\/etc/x\\y"), "/etc/x/y");
}

// A name in a directory resolved a moment ago resolves as the whole path
// does (a trailing separator takes the path the long way).
TEST_F(PathResolverTest, NamesInKnownDirectoriesResolveAsWholePaths) {
  world_.drives[L'H'] = Drive(L'H', WorldDrive::Type::kFixed, "/hostc/deep");
  PathResolver resolver(world_, L"C:\\work");
  PathResolver elsewhere(world_, L"\\\\SRV\\pub\\dir");
  const std::vector<std::wstring> paths = {L"C:\\a\\b",
                                           L"c:/a/b",
                                           L"C:\\a.\\b",
                                           L"C:\\a...\\b",
                                           L"C:\\a\\..\\b",
                                           L"C:\\x",
                                           L"\\\\?\\C:\\a.\\b",
                                           L"\\\\SRV\\pub\\a",
                                           L"\\\\SRV\\pub\\a\\b",
                                           L"//srv/PUB/a/b",
                                           L"\\\\?\\UNC\\SRV\\pub\\a",
                                           L"M:\\a\\b",
                                           L"x\\y",
                                           L"C:rel\\y",
                                           L"\\z\\y",
                                           L"/etc/x",
                                           L"/hostc/a\\b",
                                           L"/hostc/deep",
                                           L"/hostc/deep/a",
                                           L"\\\\?\\/etc/x",
                                           L"C:\\a\\b c",
                                           L"C:\\a\\\xF03Ab",
                                           L"C:\\a\\b\\\xF03A",
                                           L"C:\\a\\b*"};
  for (int round = 0; round < 2; ++round) {
    for (const std::wstring& path : paths) {
      ResolvedPath known, whole;
      DWORD error = resolver.Resolve(path, &known);
      ASSERT_EQ(error, resolver.Resolve(path + L"\\", &whole)) << ToUtf8(path);
      if (error != ERROR_SUCCESS)
        continue;
      EXPECT_EQ(known.host, whole.host) << ToUtf8(path);
      EXPECT_EQ(known.full, whole.full) << ToUtf8(path);
      EXPECT_EQ(known.components, whole.components) << ToUtf8(path);
      EXPECT_EQ(known.root_host, whole.root_host) << ToUtf8(path);
      EXPECT_EQ(known.drive, whole.drive) << ToUtf8(path);
      EXPECT_EQ(known.share, whole.share) << ToUtf8(path);
      EXPECT_EQ(known.volume, whole.volume) << ToUtf8(path);
    }
  }
  // Each resolver keeps its own: the same text names another directory there.
  ResolvedPath here, there;
  ASSERT_EQ(resolver.Resolve(L"sub\\f", &here), ERROR_SUCCESS);
  ASSERT_EQ(elsewhere.Resolve(L"sub\\f", &there), ERROR_SUCCESS);
  EXPECT_EQ(here.host, "/hostc/work/sub/f");
  EXPECT_EQ(there.host, "/srv/pub/dir/sub/f");
  // Another thread meets the directories this one resolved.
  ResolvedPath from_other_thread;
  std::thread([&] { resolver.Resolve(L"sub\\f", &from_other_thread); }).join();
  EXPECT_EQ(from_other_thread.host, here.host);
  EXPECT_EQ(from_other_thread.full, here.full);
}

TEST_F(PathResolverTest, InvalidNames) {
  EXPECT_EQ(Host(L""), "error 3");
  EXPECT_EQ(Host(L"C:\\a*b"), "error 123");
  EXPECT_EQ(Host(L"C:\\a|b"), "error 123");
  EXPECT_EQ(Host(L"C:\\a\\b:stream"), "error 123");
  EXPECT_EQ(Host(L"\\\\?\\Volume{x}\\a"), "error 123");
  EXPECT_EQ(Host(L"C:\\\x01"), "error 123");
}

}  // namespace
}  // namespace tarvik
