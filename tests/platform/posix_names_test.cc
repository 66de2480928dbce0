// Names on real trees: listings and their wildcards, letter case, names the
// host holds that Windows cannot show, network paths, renames.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "support/test_world.h"

namespace tarvik {
namespace {

struct Listed {
  std::wstring name;
  DWORD attributes;
  DWORD tag;
  uint64_t size;
};

// Every entry FindFirstFileW/FindNextFileW give for a pattern, or the error
// of FindFirstFileW.
std::vector<Listed> List(Os& os, const std::wstring& pattern, DWORD* error = nullptr) {
  std::vector<Listed> out;
  for (const WIN32_FIND_DATAW& data : FindAll(os, pattern, error)) {
    out.push_back({data.cFileName, data.dwFileAttributes, data.dwReserved0,
                   (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow});
  }
  return out;
}

std::vector<std::wstring> Names(const std::vector<Listed>& entries) {
  std::vector<std::wstring> names;
  for (const Listed& entry : entries)
    names.push_back(entry.name);
  return names;
}

std::string ReadThrough(Os& os, const std::wstring& path, DWORD flags = 0) {
  HANDLE file = os.CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "error " + std::to_string(Os::GetLastError());
  char buffer[256];
  DWORD got = 0;
  os.ReadFile(file, buffer, sizeof(buffer), &got, nullptr);
  os.CloseHandle(file);
  return std::string(buffer, got);
}

class PosixNamesTest : public testing::Test {
 protected:
  // A directory with files, a sub-directory, a link to it and a dangling link.
  void MakeTree() {
    world_.WriteFile(L"C:\\dir\\readme.txt", "12345");
    world_.WriteFile(L"C:\\dir\\Readme2.TXT", "");
    world_.WriteFile(L"C:\\dir\\Makefile", "all:");
    world_.WriteFile(L"C:\\dir\\a.b.c", "");
    world_.CreateDirectory(L"C:\\dir\\sub");
    world_.WriteFile(L"C:\\dir\\sub\\inner", "in");
    world_.CreateSymlink(L"C:\\dir\\link", "sub");
    world_.CreateSymlink(L"C:\\dir\\gone", "nowhere");
  }

  TestWorld world_;
  Os& os_ = world_.os();
};

TEST_F(PosixNamesTest, ListingFollowsTheWildcardRulesAndNeverFollowsEntries) {
  MakeTree();
  std::vector<Listed> all = List(os_, L"C:\\dir\\*");
  EXPECT_EQ(Names(all),
            (std::vector<std::wstring>{L".", L"..", L"a.b.c", L"gone", L"link", L"Makefile",
                                       L"readme.txt", L"Readme2.TXT", L"sub"}));
  for (const Listed& entry : all) {
    if (entry.name == L"readme.txt") {
      EXPECT_EQ(entry.attributes, FILE_ATTRIBUTE_ARCHIVE);
      EXPECT_EQ(entry.size, 5u);
      EXPECT_EQ(entry.tag, 0u);
    } else if (entry.name == L"sub" || entry.name == L".") {
      EXPECT_EQ(entry.attributes, FILE_ATTRIBUTE_DIRECTORY);
    } else if (entry.name == L"link") {
      EXPECT_EQ(entry.attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
      EXPECT_EQ(entry.tag, IO_REPARSE_TAG_SYMLINK);
      EXPECT_EQ(entry.size, 0u);
    } else if (entry.name == L"gone") {
      EXPECT_EQ(entry.attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
      EXPECT_EQ(entry.tag, IO_REPARSE_TAG_SYMLINK);
    }
  }
  EXPECT_EQ(Names(List(os_, L"C:\\dir\\*.txt")),
            (std::vector<std::wstring>{L"readme.txt", L"Readme2.TXT"}));
  EXPECT_EQ(Names(List(os_, L"\\\\?\\C:\\dir\\R*.T?T")),
            (std::vector<std::wstring>{L"readme.txt", L"Readme2.TXT"}));
  EXPECT_EQ(Names(List(os_, L"C:/dir/*.")),
            (std::vector<std::wstring>{L".", L"..", L"gone", L"link", L"Makefile", L"sub"}));
  EXPECT_EQ(Names(List(os_, L"C:\\dir\\*.*")).size(), 9u);
  EXPECT_EQ(Names(List(os_, L"C:\\dir\\read<.txt")),
            (std::vector<std::wstring>{L"readme.txt", L"Readme2.TXT"}));

  // Through a link the listing is the target's; a named link is the link.
  EXPECT_EQ(Names(List(os_, L"C:\\dir\\link\\*")),
            (std::vector<std::wstring>{L".", L"..", L"inner"}));
  std::vector<Listed> one = List(os_, L"C:\\DIR\\LINK");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].name, L"link");
  EXPECT_EQ(one[0].tag, IO_REPARSE_TAG_SYMLINK);

  // A root lists neither "." nor "..".
  EXPECT_EQ(Names(List(os_, L"C:\\*")), (std::vector<std::wstring>{L"dir"}));

  DWORD error;
  List(os_, L"C:\\dir\\*.zzz", &error);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  List(os_, L"C:\\nodir\\*", &error);
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
  List(os_, L"C:\\dir\\readme.txt\\*", &error);
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
  List(os_, L"C:\\dir\\missing", &error);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  List(os_, L"C:\\dir\\", &error);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
  List(os_, L"C:\\", &error);
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST_F(PosixNamesTest, NamesAreCaseInsensitiveAndCasePreserving) {
  MakeTree();
  EXPECT_EQ(ReadThrough(os_, L"c:\\DIR\\Readme.TXT"), "12345");
  EXPECT_EQ(ReadThrough(os_, L"C:\\Dir\\LINK\\INNER"), "in");
  EXPECT_NE(os_.GetFileAttributesW(L"C:\\DIR\\SUB"), INVALID_FILE_ATTRIBUTES);
  std::vector<Listed> found = List(os_, L"C:\\DIR\\README.TXT");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, L"readme.txt");

  // Creating under another case opens the existing file.
  HANDLE file = os_.CreateFileW(L"C:\\dir\\README.TXT", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  os_.CloseHandle(file);
  EXPECT_EQ(world_.ReadFile(L"C:\\dir\\readme.txt"), "");
  EXPECT_FALSE(std::filesystem::exists(world_.root() + "/c/dir/README.TXT"));
  EXPECT_EQ(
      os_.CreateFileW(L"C:\\DIR\\readme.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_FALSE(os_.CreateDirectoryW(L"C:\\DIR\\SUB", nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  // A new name keeps the case it is given, below the existing directory.
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\DIR\\NewOne", nullptr));
  EXPECT_TRUE(std::filesystem::is_directory(world_.root() + "/c/dir/NewOne"));
}

TEST_F(PosixNamesTest, HostNamesWindowsCannotShowAreMappedBothWays) {
  world_.CreateDirectory(L"C:\\odd");
  std::string host = world_.root() + "/c/odd/";
  for (const char* name : {"a:b", "q?", "tab\tname", "trail.", "pipe|star*"})
    std::ofstream(host + name) << name;
  std::vector<std::wstring> names = Names(List(os_, L"C:\\odd\\*"));
  EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"a\uF022b", L"pipe\uF027star\uF021",
                                              L"q\uF025", L"tab\uF009name", L"trail\uF029"}));
  EXPECT_EQ(ReadThrough(os_, L"C:\\odd\\A\uF022B"), "a:b");
  EXPECT_EQ(ReadThrough(os_, L"C:\\odd\\trail\uF029"), "trail.");
  EXPECT_EQ(ReadThrough(os_, L"C:\\odd\\pipe\uF027star\uF021"), "pipe|star*");
  EXPECT_EQ(Names(List(os_, L"C:\\odd\\q*")), (std::vector<std::wstring>{L"q\uF025"}));

  // A name the program makes with them gets the host character.
  HANDLE file = os_.CreateFileW(L"C:\\odd\\new\uF023x\uF024", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  os_.CloseHandle(file);
  EXPECT_TRUE(std::filesystem::exists(host + "new<x>"));

  // The characters themselves are not names; ':' would name a stream.
  EXPECT_EQ(os_.GetFileAttributesW(L"C:\\odd\\a:b"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(os_.CreateFileW(L"C:\\odd\\x?y", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_NAME);
}

TEST_F(PosixNamesTest, NetworkPathsGoThroughTheWorldsShares) {
  world_.WriteFile(L"\\\\FILER1\\data\\x.txt", "shared");
  EXPECT_EQ(ReadThrough(os_, L"\\\\filer1\\DATA\\x.txt"), "shared");
  EXPECT_EQ(ReadThrough(os_, L"\\\\?\\UNC\\FILER1\\data\\X.TXT"), "shared");
  EXPECT_EQ(ReadThrough(os_, L"//FILER1/data/x.txt"), "shared");
  world_.WriteFile(L"C:\\c.txt", "local");
  EXPECT_EQ(ReadThrough(os_, L"\\\\TESTPC\\C$\\c.txt"), "local");
  EXPECT_EQ(ReadThrough(os_, L"\\\\?\\C:\\c.txt"), "local");
  std::wstring host_form = std::filesystem::path(world_.root() + "/c/c.txt").wstring();
  EXPECT_EQ(ReadThrough(os_, host_form), "local");

  EXPECT_EQ(os_.GetFileAttributesW(L"\\\\NOBODY\\data\\x.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_EQ(os_.GetFileAttributesW(L"\\\\FILER1\\nothing\\x.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_BAD_NET_NAME);
  DWORD error;
  List(os_, L"\\\\?\\UNC\\FILER1\\nothing\\*", &error);
  EXPECT_EQ(error, ERROR_BAD_NET_NAME);
  EXPECT_EQ(os_.GetFileAttributesW(L"Q:\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(PosixNamesWorldTest, AnUnreachableServerIsABadNetworkPath) {
  TestWorld world(R"({
    "computer": "TESTPC",
    "drives": {"C:": {"path": "c"}},
    "servers": [{"name": "DOWN", "sid": "S-1-5-21-1-2-3", "reachable": false,
                 "shares": [{"name": "s", "path": "down"}]}]
  })");
  EXPECT_EQ(world.os().GetFileAttributesW(L"\\\\DOWN\\s"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_BAD_NETPATH);
}

TEST_F(PosixNamesTest, MoveRenamesCaseOnlyAndRefusesToReplace) {
  MakeTree();
  ASSERT_TRUE(os_.MoveFileW(L"C:\\dir\\readme.txt", L"C:\\dir\\README.TXT"));
  EXPECT_TRUE(std::filesystem::exists(world_.root() + "/c/dir/README.TXT"));
  EXPECT_FALSE(std::filesystem::exists(world_.root() + "/c/dir/readme.txt"));
  EXPECT_TRUE(os_.MoveFileW(L"C:\\dir\\README.TXT", L"C:\\dir\\README.TXT"));

  EXPECT_FALSE(os_.MoveFileW(L"C:\\dir\\README.TXT", L"C:\\dir\\makefile"));
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(world_.ReadFile(L"C:\\dir\\Makefile"), "all:");
  EXPECT_FALSE(os_.MoveFileW(L"C:\\dir\\nothing", L"C:\\dir\\x"));
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(os_.MoveFileW(L"C:\\dir\\Makefile", L"C:\\nodir\\x"));
  EXPECT_EQ(Os::GetLastError(), ERROR_PATH_NOT_FOUND);

  // A directory moves with its content; a link moves as itself.
  ASSERT_TRUE(os_.MoveFileW(L"C:\\dir\\sub", L"C:\\moved"));
  EXPECT_EQ(world_.ReadFile(L"C:\\moved\\inner"), "in");
  ASSERT_TRUE(os_.MoveFileW(L"C:\\dir\\gone", L"C:\\dir\\gone2"));
  EXPECT_TRUE(std::filesystem::is_symlink(world_.root() + "/c/dir/gone2"));
}

TEST_F(PosixNamesTest, WorkersShareADirectory) {
  // Threads create, list, stamp and rename in one directory at once, as the
  // copy engine's workers do.
  world_.CreateDirectory(L"C:\\shared");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 25; ++i) {
        std::wstring name = L"C:\\SHARED\\F" + std::to_wstring(t) + L"_" + std::to_wstring(i);
        HANDLE file = os_.CreateFileW(name.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0,
                                      nullptr, CREATE_ALWAYS, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME time = FileTimeFromUnix(1000000 + i);
        EXPECT_TRUE(os_.SetFileTime(file, &time, &time, &time));
        os_.CloseHandle(file);
        EXPECT_FALSE(List(os_, L"C:\\shared\\*").empty());
        EXPECT_TRUE(os_.MoveFileW(name.c_str(), (name + L".done").c_str()));
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(List(os_, L"C:\\shared\\f*.DONE").size(), 100u);
}

}  // namespace
}  // namespace tarvik
