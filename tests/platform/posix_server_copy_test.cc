#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/posix/posix_os.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

constexpr ULONG kMiB = 1048576;

struct Chunk {
  uint64_t source;
  uint64_t target;
  ULONG length;
};

// Server FS offers the copy on its shares a and b (b also as drive M:),
// not on c; server OTHER offers it on d; drive T: is a local disk.
class PosixServerCopyTest : public testing::Test {
 protected:
  PosixServerCopyTest() {
    World world;
    world.computer = L"PC";
    WorldDrive local;
    local.letter = L'T';
    local.host_path = Dir("t");
    world.drives[L'T'] = local;
    WorldDrive mapped;
    mapped.letter = L'M';
    mapped.type = WorldDrive::Type::kRemote;
    mapped.connection = WorldConnection();
    mapped.connection->remote = L"\\\\FS\\b";
    world.drives[L'M'] = mapped;
    world.servers.push_back(Server(L"FS", {{L"a", true}, {L"b", true}, {L"c", false}}));
    world.servers.push_back(Server(L"OTHER", {{L"d", true}}));
    os_ = std::make_unique<PosixOs>(std::move(world));
  }

  std::string Dir(const std::string& name) {
    std::filesystem::create_directories(temp_.path() + "/" + name);
    return temp_.path() + "/" + name;
  }

  WorldServer Server(const std::wstring& name, std::vector<std::pair<std::wstring, bool>> shares) {
    WorldServer server;
    server.name = name;
    for (const auto& [share_name, copies] : shares) {
      WorldShare share;
      share.name = share_name;
      share.host_path = Dir(std::string(share_name.begin(), share_name.end()));
      share.server_side_copy = copies;
      server.shares.push_back(share);
    }
    return server;
  }

  void WriteHost(const std::string& path, const std::string& data) {
    std::ofstream(temp_.path() + "/" + path, std::ios::binary) << data;
  }
  std::string ReadHost(const std::string& path) {
    std::ifstream in(temp_.path() + "/" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition) {
    return os_->CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, 0,
                            nullptr);
  }

  NTSTATUS ResumeKey(HANDLE source, uint8_t* key) {
    uint8_t answer[32];
    IO_STATUS_BLOCK io{};
    NTSTATUS status =
        os_->NtFsControlFile(source, nullptr, nullptr, nullptr, &io, FSCTL_SRV_REQUEST_RESUME_KEY,
                             nullptr, 0, answer, sizeof(answer));
    if (status == STATUS_SUCCESS) {
      EXPECT_EQ(io.Information, kResumeKeySize + 4);
      ULONG context_length = 1;
      std::memcpy(&context_length, answer + kResumeKeySize, 4);
      EXPECT_EQ(context_length, 0u);
      std::memcpy(key, answer, kResumeKeySize);
    }
    return status;
  }

  // One copy-chunk request; *answer holds the three counts.
  NTSTATUS CopyChunks(HANDLE target, const uint8_t* key, const std::vector<Chunk>& chunks,
                      SRV_COPYCHUNK_RESPONSE* answer, ULONG count = 0, ULONG input_cut = 0,
                      ULONG output_length = sizeof(SRV_COPYCHUNK_RESPONSE)) {
    std::vector<uint8_t> request(kCopyChunkHeaderSize + chunks.size() * sizeof(SRV_COPYCHUNK));
    std::memcpy(request.data(), key, kResumeKeySize);
    const ULONG stated = count != 0 ? count : static_cast<ULONG>(chunks.size());
    std::memcpy(request.data() + kResumeKeySize, &stated, 4);
    for (size_t i = 0; i < chunks.size(); ++i) {
      const SRV_COPYCHUNK chunk{chunks[i].source, chunks[i].target, chunks[i].length, 0};
      std::memcpy(request.data() + kCopyChunkHeaderSize + i * sizeof(chunk), &chunk, sizeof(chunk));
    }
    *answer = {};
    IO_STATUS_BLOCK io{};
    return os_->NtFsControlFile(target, nullptr, nullptr, nullptr, &io, FSCTL_SRV_COPYCHUNK,
                                request.data(), static_cast<ULONG>(request.size() - input_cut),
                                answer, output_length);
  }

  static std::string Pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
      data[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return data;
  }

  TempDir temp_;
  std::unique_ptr<PosixOs> os_;
};

TEST_F(PosixServerCopyTest, ChunksCopyBetweenSharesOfOneServerAndKeepTheSetTime) {
  const std::string data = Pattern(2 * kMiB + 12345);
  WriteHost("a/src", data);
  HANDLE source = Open(L"\\\\FS\\a\\src", GENERIC_READ, OPEN_EXISTING);
  HANDLE target = Open(L"\\\\FS\\b\\dst", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(source, INVALID_HANDLE_VALUE);
  ASSERT_NE(target, INVALID_HANDLE_VALUE);
  const FILETIME mark{0x12345678, 0x01A00000};
  ASSERT_TRUE(os_->SetFileTime(target, nullptr, nullptr, &mark));
  uint8_t key[kResumeKeySize];
  ASSERT_EQ(ResumeKey(source, key), STATUS_SUCCESS);

  // The last chunk runs past the source's end: a short count, no failure.
  SRV_COPYCHUNK_RESPONSE answer;
  EXPECT_EQ(CopyChunks(target, key, {{0, 0, kMiB}, {kMiB, kMiB, kMiB}, {2 * kMiB, 2 * kMiB, kMiB}},
                       &answer),
            STATUS_SUCCESS);
  EXPECT_EQ(answer.ChunksWritten, 2u);
  EXPECT_EQ(answer.ChunkBytesWritten, 12345u);
  EXPECT_EQ(answer.TotalBytesWritten, data.size());
  FILETIME shown{};
  ASSERT_TRUE(os_->GetFileTime(target, nullptr, nullptr, &shown));
  EXPECT_EQ(shown.dwLowDateTime, mark.dwLowDateTime);
  EXPECT_EQ(shown.dwHighDateTime, mark.dwHighDateTime);
  EXPECT_TRUE(os_->CloseHandle(target));
  EXPECT_EQ(ReadHost("b/dst"), data);
  HANDLE reopened = Open(L"\\\\FS\\b\\dst", GENERIC_READ, OPEN_EXISTING);
  ASSERT_TRUE(os_->GetFileTime(reopened, nullptr, nullptr, &shown));
  EXPECT_EQ(shown.dwHighDateTime, mark.dwHighDateTime);
  os_->CloseHandle(reopened);

  // A drive mapped to the server's share is the same server; a handle that
  // may not read the target is refused.
  target = Open(L"M:\\part", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  EXPECT_EQ(CopyChunks(target, key, {{kMiB, 0, 100}}, &answer), STATUS_SUCCESS);
  EXPECT_EQ(answer.TotalBytesWritten, 100u);
  os_->CloseHandle(target);
  EXPECT_EQ(ReadHost("b/part"), data.substr(kMiB, 100));
  // Written, so no longer unfinished once its writer is done.
  struct stat info {};
  ASSERT_EQ(stat((temp_.path() + "/b/part").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & S_ISVTX, 0u);
  target = Open(L"M:\\part", GENERIC_WRITE, OPEN_EXISTING);
  EXPECT_EQ(CopyChunks(target, key, {{0, 0, 100}}, &answer), STATUS_ACCESS_DENIED);
  os_->CloseHandle(target);
  os_->CloseHandle(source);
}

TEST_F(PosixServerCopyTest, RequestsBeyondTheLimitsOrMalformedAreRefused) {
  WriteHost("a/src", Pattern(100));
  HANDLE source = Open(L"\\\\FS\\a\\src", GENERIC_READ, OPEN_EXISTING);
  HANDLE target = Open(L"\\\\FS\\a\\dst", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  uint8_t key[kResumeKeySize];
  ASSERT_EQ(ResumeKey(source, key), STATUS_SUCCESS);
  SRV_COPYCHUNK_RESPONSE answer;
  auto expect_limits = [&](const std::vector<Chunk>& chunks) {
    EXPECT_EQ(CopyChunks(target, key, chunks, &answer), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(answer.ChunksWritten, 256u);
    EXPECT_EQ(answer.ChunkBytesWritten, kMiB);
    EXPECT_EQ(answer.TotalBytesWritten, 16 * kMiB);
  };
  expect_limits(std::vector<Chunk>(257, Chunk{0, 0, 1}));
  expect_limits({{0, 0, kMiB + 1}});
  expect_limits(std::vector<Chunk>(17, Chunk{0, 0, kMiB}));
  // Fewer chunks than stated, an answer buffer too small.
  EXPECT_EQ(CopyChunks(target, key, {{0, 0, 10}}, &answer, 2), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(CopyChunks(target, key, {{0, 0, 10}}, &answer, 0, 1), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(CopyChunks(target, key, {{0, 0, 10}}, &answer, 0, 0, 11), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(ReadHost("a/dst"), "");
  os_->CloseHandle(target);
  os_->CloseHandle(source);
}

TEST_F(PosixServerCopyTest, KeysAreRefusedOutsideTheirServerAndAfterTheirHandle) {
  WriteHost("a/src", Pattern(100));
  WriteHost("c/src", Pattern(100));
  WriteHost("t/src", Pattern(100));
  uint8_t key[kResumeKeySize];
  // Neither a share without the copy nor a local disk answers the request.
  HANDLE plain = Open(L"\\\\FS\\c\\src", GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(ResumeKey(plain, key), STATUS_INVALID_DEVICE_REQUEST);
  os_->CloseHandle(plain);
  plain = Open(L"T:\\src", GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(ResumeKey(plain, key), STATUS_INVALID_DEVICE_REQUEST);
  os_->CloseHandle(plain);

  HANDLE source = Open(L"\\\\FS\\a\\src", GENERIC_READ, OPEN_EXISTING);
  ASSERT_EQ(ResumeKey(source, key), STATUS_SUCCESS);
  SRV_COPYCHUNK_RESPONSE answer;
  // Another server does not know the key; nor does anyone once the source
  // handle is closed, even when its handle value is given out again.
  HANDLE elsewhere = Open(L"\\\\OTHER\\d\\dst", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  EXPECT_EQ(CopyChunks(elsewhere, key, {{0, 0, 100}}, &answer), STATUS_OBJECT_NAME_NOT_FOUND);
  os_->CloseHandle(elsewhere);
  HANDLE target = Open(L"\\\\FS\\b\\dst", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  uint8_t unknown[kResumeKeySize] = {1, 2, 3};
  EXPECT_EQ(CopyChunks(target, unknown, {{0, 0, 100}}, &answer), STATUS_OBJECT_NAME_NOT_FOUND);
  os_->CloseHandle(source);
  HANDLE reused = Open(L"\\\\FS\\a\\src", GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(reused, source);
  EXPECT_EQ(CopyChunks(target, key, {{0, 0, 100}}, &answer), STATUS_OBJECT_NAME_NOT_FOUND);
  // A named stream's handle lies on its file, whose data is not the stream's.
  HANDLE stream = Open(L"\\\\FS\\a\\src:s", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(stream, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ResumeKey(stream, unknown), STATUS_INVALID_PARAMETER);
  ASSERT_EQ(ResumeKey(reused, key), STATUS_SUCCESS);
  EXPECT_EQ(CopyChunks(stream, key, {{0, 0, 100}}, &answer), STATUS_INVALID_PARAMETER);
  os_->CloseHandle(stream);
  EXPECT_EQ(ReadHost("a/src"), Pattern(100));
  // Other controls are not served.
  IO_STATUS_BLOCK io{};
  EXPECT_EQ(os_->NtFsControlFile(target, nullptr, nullptr, nullptr, &io, FSCTL_SET_COMPRESSION,
                                 nullptr, 0, nullptr, 0),
            STATUS_INVALID_DEVICE_REQUEST);
  EXPECT_EQ(ReadHost("b/dst"), "");
  os_->CloseHandle(reused);
  os_->CloseHandle(target);
}

// copy_file_range cannot join an ext4 file and a tmpfs one: the server copies
// through a buffer instead, with the same answers, for runs of contiguous
// chunks and single ones alike.
TEST_F(PosixServerCopyTest, HostsThatCannotJoinTheFilesCopyThroughABuffer) {
  struct statfs shm {
  }, tmp{};
  if (statfs("/dev/shm", &shm) != 0 || statfs(temp_.path().c_str(), &tmp) != 0 ||
      shm.f_type == tmp.f_type) {
    GTEST_SKIP() << "needs /dev/shm on another file system than the temporary directory";
  }
  std::string pattern = "/dev/shm/tarvik_copy_XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  World world;
  world.computer = L"PC";
  world.servers.push_back(Server(L"FS", {{L"a", true}}));
  WorldShare memory;
  memory.name = L"m";
  memory.host_path = pattern;
  memory.server_side_copy = true;
  world.servers[0].shares.push_back(memory);
  os_ = std::make_unique<PosixOs>(std::move(world));

  const std::string data = Pattern(3 * kMiB + 7);
  WriteHost("a/src", data);
  HANDLE source = Open(L"\\\\FS\\a\\src", GENERIC_READ, OPEN_EXISTING);
  HANDLE target = Open(L"\\\\FS\\m\\dst", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(target, INVALID_HANDLE_VALUE);
  uint8_t key[kResumeKeySize];
  ASSERT_EQ(ResumeKey(source, key), STATUS_SUCCESS);
  SRV_COPYCHUNK_RESPONSE answer;
  EXPECT_EQ(CopyChunks(target, key,
                       {{0, 0, kMiB},
                        {kMiB, kMiB, kMiB},
                        {2 * kMiB, 2 * kMiB, kMiB},
                        {3 * kMiB, 3 * kMiB, kMiB}},
                       &answer),
            STATUS_SUCCESS);
  EXPECT_EQ(answer.ChunksWritten, 3u);
  EXPECT_EQ(answer.ChunkBytesWritten, 7u);
  EXPECT_EQ(answer.TotalBytesWritten, data.size());
  // Chunks out of order: each copied on its own.
  EXPECT_EQ(CopyChunks(target, key, {{100, 10, 20}, {0, 0, 10}, {10, 30, 5}}, &answer),
            STATUS_SUCCESS);
  EXPECT_EQ(answer.ChunksWritten, 3u);
  EXPECT_EQ(answer.TotalBytesWritten, 35u);
  os_->CloseHandle(target);
  os_->CloseHandle(source);
  std::ifstream in(pattern + "/dst", std::ios::binary);
  const std::string copied(std::istreambuf_iterator<char>(in), {});
  std::filesystem::remove_all(pattern);
  const std::string expected =
      data.substr(0, 10) + data.substr(100, 20) + data.substr(10, 5) + data.substr(35);
  EXPECT_EQ(copied, expected);
}

}  // namespace
}  // namespace tarvik
