// tarvik.exe as a user runs it on Windows (in the suite, under wine64): the
// test is a Windows program of its own that starts the program, then looks
// at the trees through the system's calls. Wine keeps a file's security
// descriptor in an extended attribute of its own and enforces none of it, so
// descriptors are checked as stored and read back, not as access decisions.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "util/utf.h"

// After every other include: its macros would rewrite tarvik's names.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <sddl.h>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

// A host path given at build time, as the program under Wine names it.
fs::path HostPath(const char* path) {
  std::string text = path;
  if (!text.empty() && text[0] == '/')
    text = "Z:" + text;  // Wine's drive for the host's root
  return fs::path(FromUtf8(text));
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The [usage] section of the end-to-end tests' golden texts: one C-style
// quoted string per line, joined.
std::string GoldenUsage() {
  std::ifstream in(HostPath(TARVIK_GOLDEN_DIR) / "usage.txt", std::ios::binary);
  std::string line, text;
  bool inside = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') {
      inside = line == "[usage]";
      continue;
    }
    if (!inside || line.size() < 2 || line[0] != '"')
      continue;
    for (size_t i = 1; i + 1 < line.size(); ++i) {
      if (line[i] == '\\' && i + 2 < line.size()) {
        const char escaped = line[++i];
        text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
      } else {
        text += line[i];
      }
    }
  }
  return text;
}

struct RunResult {
  std::string out;
  std::string err;
  DWORD exit_code = 0xFFFFFFFF;
};

class SmokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("tarvik-smoke-" + std::to_string(tick));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored))
      ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(dir_, ignored);
  }

  // Runs tarvik.exe with the arguments (quoted as given), its standard
  // output and error going to files.
  RunResult Run(const std::wstring& arguments) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE out_handle = ::CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                      CREATE_ALWAYS, 0, nullptr);
    HANDLE err_handle = ::CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                      CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out_handle;
    startup.hStdError = err_handle;
    const std::wstring program = HostPath(TARVIK_EXE).wstring();
    std::wstring command = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    RunResult result;
    const BOOL started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                          0, nullptr, nullptr, &startup, &process);
    ::CloseHandle(out_handle);
    ::CloseHandle(err_handle);
    EXPECT_TRUE(started) << "CreateProcessW: " << ::GetLastError();
    if (!started)
      return result;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &result.exit_code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
  }

  fs::path dir_;
};

TEST_F(SmokeTest, BadCommandLinesShowTheUsageAndEndWithEight) {
  const std::string usage = GoldenUsage();
  ASSERT_GT(usage.size(), 1000u);
  const std::pair<std::wstring, std::string> cases[] = {
      {L"", "\n Arguments are missing.\n"},
      {L"a b /s:1", " Unknown /s:1 switch.\n"},
      {L"a b /r:5x", "/r"},
  };
  for (const auto& [arguments, message] : cases) {
    const RunResult result = Run(arguments);
    EXPECT_EQ(result.exit_code, 8u) << ToUtf8(arguments);
    EXPECT_EQ(result.err, "") << ToUtf8(arguments);
    EXPECT_NE(result.out.find(message), std::string::npos) << result.out;
    ASSERT_GE(result.out.size(), usage.size());
    EXPECT_EQ(result.out.substr(result.out.size() - usage.size()), usage) << ToUtf8(arguments);
  }
}

TEST_F(SmokeTest, AWorldFileIsRefusedOnTheRealSystem) {
  ASSERT_EQ(::_wputenv_s(L"TARVIK_WORLD", L"C:\\world.json"), 0);
  const RunResult result = Run(L"a b");
  ASSERT_EQ(::_wputenv_s(L"TARVIK_WORLD", L""), 0);
  EXPECT_EQ(result.exit_code, 8u);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.substr(0, 37), "TARVIK_WORLD is set (C:\\world.json), ") << result.err;
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
}

// --- A small tree -------------------------------------------------------------

FILETIME FileTimeOf(uint64_t value) {
  return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

uint64_t ValueOf(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

HANDLE OpenForMetadata(const fs::path& path, DWORD access) {
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

void SetTimes(const fs::path& path, uint64_t creation, uint64_t last_write) {
  HANDLE handle = OpenForMetadata(path, FILE_WRITE_ATTRIBUTES);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
  const FILETIME created = FileTimeOf(creation), written = FileTimeOf(last_write);
  EXPECT_TRUE(::SetFileTime(handle, &created, nullptr, &written));
  ::CloseHandle(handle);
}

// Creation and last-write times.
std::pair<uint64_t, uint64_t> TimesOf(const fs::path& path) {
  HANDLE handle = OpenForMetadata(path, FILE_READ_ATTRIBUTES);
  FILETIME created = {}, accessed = {}, written = {};
  EXPECT_NE(handle, INVALID_HANDLE_VALUE) << path;
  EXPECT_TRUE(::GetFileTime(handle, &created, &accessed, &written));
  ::CloseHandle(handle);
  return {ValueOf(created), ValueOf(written)};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(SmokeTest, CopiesATreeWithItsDataTimesAndAttributes) {
  const fs::path source = dir_ / "source", target = dir_ / "target";
  fs::create_directories(source / "sub" / L"d\u00e9ep");
  std::string big(300 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 7 + i / 1024);
  const std::vector<std::pair<fs::path, std::string>> files = {
      {"a.txt", "alpha"},
      {"sub/big.bin", big},
      {L"sub/d\u00e9ep/\u20ac.txt", "euro"},
      {"empty", ""},
  };
  uint64_t time = 130000000000000000;  // 2012
  for (const auto& [name, data] : files) {
    WriteFile(source / name, data);
    SetTimes(source / name, time, time + 12345678);
    time += 864000000000;  // a day
  }
  ASSERT_TRUE(::SetFileAttributesW((source / "a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::SetFileAttributesW((source / L"sub/d\u00e9ep/\u20ac.txt").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  SetTimes(source / "sub", time, time + 5);

  // /sdd: directories take their dates too. /noprivchecks: Wine answers
  // privilege look-ups on the system "." as on a remote one it cannot reach.
  const RunResult result =
      Run(L"\"" + source.wstring() + L"\" \"" + target.wstring() + L"\" /s /sdd /noprivchecks");
  EXPECT_EQ(result.exit_code, 0u) << result.out << result.err;

  for (const auto& [name, data] : files) {
    SCOPED_TRACE(ToUtf8(name.wstring()));
    EXPECT_EQ(ReadAll(target / name), data);
    EXPECT_EQ(TimesOf(target / name), TimesOf(source / name));
    EXPECT_EQ(::GetFileAttributesW((target / name).c_str()),
              ::GetFileAttributesW((source / name).c_str()));
  }
  EXPECT_EQ(TimesOf(target / "sub").second, TimesOf(source / "sub").second);
}

// Faults reach tarvik.exe through a fault file. With /c the run goes on with
// the other files, and ends with the data bit of the exit code.
TEST_F(SmokeTest, AnInjectedFaultFailsTheRunButNotTheOtherFiles) {
  const fs::path source = dir_ / "source", target = dir_ / "target", faults = dir_ / "faults.json";
  fs::create_directories(source);
  WriteFile(source / "good.txt", "good");
  WriteFile(source / "bad.txt", "bad");
  WriteFile(faults, R"({"faults": [{"call": "CreateFileW", "path": "*\\target\\bad.txt",
                        "error": "ERROR_SHARING_VIOLATION", "count": 0}]})");
  ASSERT_EQ(::_wputenv_s(L"TARVIK_FAULTS", faults.c_str()), 0);
  const RunResult result = Run(L"\"" + source.wstring() + L"\" \"" + target.wstring() +
                               L"\" /nosec /noprivchecks /r:0 /w:0 /c");
  ASSERT_EQ(::_wputenv_s(L"TARVIK_FAULTS", L""), 0);
  EXPECT_EQ(result.exit_code, 4u) << result.out;
  EXPECT_NE(result.out.find("bad.txt -> Unable to open file"), std::string::npos) << result.out;
  EXPECT_EQ(ReadAll(target / "good.txt"), "good");
  EXPECT_FALSE(fs::exists(target / "bad.txt"));
}

// --- Security descriptors ---------------------------------------------------

std::wstring DescriptorText(const fs::path& path, SECURITY_INFORMATION parts) {
  DWORD needed = 0;
  ::GetFileSecurityW(path.c_str(), parts, nullptr, 0, &needed);
  std::vector<BYTE> descriptor(needed);
  if (needed == 0 || !::GetFileSecurityW(path.c_str(), parts, descriptor.data(), needed, &needed)) {
    ADD_FAILURE() << "GetFileSecurityW " << path << ": " << ::GetLastError();
    return L"";
  }
  LPWSTR text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                              parts, &text, nullptr)) {
    ADD_FAILURE() << "ConvertSecurityDescriptorToStringSecurityDescriptorW: " << ::GetLastError();
    return L"";
  }
  std::wstring result = text;
  ::LocalFree(text);
  return result;
}

void SetDescriptor(const fs::path& path, const wchar_t* sddl, SECURITY_INFORMATION parts) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
  EXPECT_TRUE(::SetFileSecurityW(path.c_str(), parts, descriptor)) << ::GetLastError();
  ::LocalFree(descriptor);
}

// Wine (as Debian ships it) keeps no descriptor of its own for a file: it
// shows one made from the host's mode bits, and a DACL set on a file changes
// those bits as far as they can express it. So the descriptor a copy must
// carry is the one Wine derives from the source's restricted modes; a target
// left with default security shows another.
TEST_F(SmokeTest, CopiesTheDaclsWineCanExpress) {
  const fs::path source = dir_ / "source", target = dir_ / "target";
  fs::create_directories(source / "inner");
  WriteFile(source / "secured.txt", "secret");
  WriteFile(source / "inner" / "open.txt", "open");
  WriteFile(dir_ / "default.txt", "");
  const SECURITY_INFORMATION dacl = DACL_SECURITY_INFORMATION;
  SetDescriptor(source / "secured.txt", L"D:(A;;FA;;;OW)", dacl);
  SetDescriptor(source / "inner", L"D:(A;OICI;FA;;;OW)(A;OICI;FR;;;WD)", dacl);
  const std::wstring expected_file = DescriptorText(source / "secured.txt", dacl);
  const std::wstring expected_dir = DescriptorText(source / "inner", dacl);
  ASSERT_NE(expected_file, DescriptorText(dir_ / "default.txt", dacl))
      << "Wine kept no trace of the source's DACL: " << ToUtf8(expected_file);

  const RunResult result =
      Run(L"\"" + source.wstring() + L"\" \"" + target.wstring() + L"\" /s /noprivchecks");
  EXPECT_EQ(result.exit_code, 0u) << result.out << result.err;
  EXPECT_NE(result.out.find("Security Descriptor Setting(s) done:      : 4"), std::string::npos)
      << result.out;
  EXPECT_EQ(ReadAll(target / "secured.txt"), "secret");
  EXPECT_EQ(DescriptorText(target / "secured.txt", dacl), expected_file);
  EXPECT_EQ(DescriptorText(target / "inner", dacl), expected_dir);
  EXPECT_EQ(ReadAll(target / "inner" / "open.txt"), "open");
}

}  // namespace
}  // namespace tarvik
