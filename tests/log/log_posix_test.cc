// The log system on the real Linux platform layer: a log file on disk and
// standard output redirected to a host file.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "log/log.h"
#include "log/log_testing.h"
#include "platform/posix/host_world.h"
#include "platform/posix/posix_os.h"
#include "settings/copy_settings.h"
#include "util/utf.h"

namespace tarvik {
namespace {

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::wstring WindowsPathOf(const std::string& host_path) {
  std::wstring path = L"Z:" + FromUtf8(host_path);
  for (wchar_t& c : path) {
    if (c == L'/')
      c = L'\\';
  }
  return path;
}

TEST(LogPosixTest, UnicodeLogFileAndRedirectedOutputOnTheHost) {
  char dir_template[] = "/tmp/tarvik_log_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  const std::string out_path = dir + "/stdout.txt";
  const std::string log_path = dir + "/run.log";
  int out_fd = open(out_path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(out_fd, 0);

  PosixOs os(MakeHostWorld(), PosixOs::StdFds{0, out_fd, 2});
  Os* previous = Os::Install(&os);
  ResetLogSystemForTesting();
  Settings() = CopySettings{};
  Settings().logPath = WindowsPathOf(log_path);
  Settings().logUnicode = 1;
  Settings().logAppend = 1;

  BannerText(L"banner\n");
  ASSERT_TRUE(CreateLogSystem(true));
  LogInfo(L"info %d", 1);
  LogError(ERROR_ACCESS_DENIED, L"");
  LogText(L"done\n");
  StopLogSystem();
  ResetLogSystemForTesting();
  Settings() = CopySettings{};
  Os::Install(previous);
  close(out_fd);

  std::string log = ReadHostFile(log_path);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.substr(0, 2), std::string("\xFF\xFE", 2));
  std::wstring text = FromUtf16Le(log.substr(2));
  std::wregex expected(
      L"banner\n\\d\\d:\\d\\d:\\d\\d : info 1\n"
      L"\\d\\d:\\d\\d:\\d\\d : ERROR \\(5\\) : [^\r\n]+\ndone\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << ToUtf8(text);

  // Info stays out of the console while a log file is open.
  std::wstring console = FromUtf8(ReadHostFile(out_path));
  std::wregex expected_console(L"\\d\\d:\\d\\d:\\d\\d : ERROR \\(5\\) : [^\r\n]+\ndone\n");
  EXPECT_TRUE(std::regex_match(console, expected_console)) << ToUtf8(console);

  std::remove(log_path.c_str());
  std::remove(out_path.c_str());
  rmdir(dir.c_str());
}

}  // namespace
}  // namespace tarvik
