// The verification of copied content when the target does not keep what was
// written to it: a device that silently changes one byte of one file.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>

#include "copy/md5_digest.h"
#include "copy_fixture.h"
#include "platform/fault_os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

// Passes everything on, except that the byte at file offset `offset` of
// every write to a file whose path ends with `suffix` arrives changed.
class CorruptingOs : public FaultOs {
 public:
  CorruptingOs(const World& world, std::wstring suffix, uint64_t offset)
      : FaultOs(std::make_unique<PosixOs>(world), {}),
        suffix_(std::move(suffix)),
        offset_(offset) {}

  HANDLE CreateFileW(const wchar_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                     DWORD disposition, DWORD flags, HANDLE template_file) override {
    HANDLE handle =
        FaultOs::CreateFileW(name, access, share, security, disposition, flags, template_file);
    const std::wstring path = name;
    if (handle != INVALID_HANDLE_VALUE && (access & FILE_WRITE_DATA) && path.ends_with(suffix_)) {
      std::lock_guard lock(mutex_);
      corrupted_.insert(handle);
    }
    return handle;
  }

  BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written,
                 OVERLAPPED* overlapped) override {
    std::string bytes(static_cast<const char*>(buffer), size);
    const uint64_t start =
        overlapped ? (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset : 0;
    if (Corrupted(file) && offset_ >= start && offset_ < start + size)
      bytes[offset_ - start] ^= 0x01;
    return FaultOs::WriteFile(file, bytes.data(), size, written, overlapped);
  }

  BOOL CloseHandle(HANDLE handle) override {
    {
      std::lock_guard lock(mutex_);
      corrupted_.erase(handle);
    }
    return FaultOs::CloseHandle(handle);
  }

 private:
  bool Corrupted(HANDLE handle) {
    std::lock_guard lock(mutex_);
    return corrupted_.count(handle) != 0;
  }

  const std::wstring suffix_;
  const uint64_t offset_;
  std::mutex mutex_;
  std::set<HANDLE> corrupted_;
};

using ContentCheckTest = CopyEngineTest;

TEST_F(ContentCheckTest, BothChecksCatchATargetThatDiffersFromWhatWasWritten) {
  world().WriteFile(L"C:\\src\\good.bin", std::string(3 * 1048576, 'g'));
  world().WriteFile(L"C:\\src\\bad.bin", std::string(2 * 1048576 + 7, 'b'));
  for (int32_t mode : {kCheckMd5, kCheckBin}) {
    SCOPED_TRACE(mode);
    Settings().checkContentMode = mode;
    CorruptingOs os(world().world(), L"\\bad.bin", 1048576 + 3);
    Os* previous = Os::Install(&os);
    const CopyRun run = Run();
    Os::Install(previous);
    ASSERT_TRUE(run.started) << ToUtf8(run.output);
    const CopyCounters& c = run.totals.copy;
    if (mode == kCheckMd5) {
      EXPECT_EQ(run.Count(L"WARNING : C:\\dst\\bad.bin MD5 check failed, content mismatch\n"), 1u)
          << ToUtf8(run.output);
      EXPECT_EQ(c.md5Checked, 1u);
      EXPECT_EQ(c.md5Mismatches, 1u);
    } else {
      EXPECT_EQ(run.Count(L"WARNING : C:\\dst\\bad.bin content mismatch : inconsistency in content "
                          L"detected at offset 1048579\n"),
                1u)
          << ToUtf8(run.output);
      EXPECT_EQ(run.Count(L"C:\\dst\\good.bin check content OK\n"), 1u);
      EXPECT_EQ(c.contentsChecked, 1u);
      EXPECT_EQ(c.contentMismatches, 1u);
    }
    // Reported and in the exit code, but the copy stands.
    EXPECT_EQ(c.filesCopied, 2u);
    EXPECT_EQ(c.fileCopiesFailed, 0u);
    EXPECT_EQ(run.exitBits, kResultDataError);
    EXPECT_TRUE(world().Exists(L"C:\\dst\\bad.bin"));
  }
}

TEST(Md5DigestTest, KnownValueAndUnfinishedDigestsNeverMatch) {
  // From RFC 1321's test suite, given in two pieces.
  Md5Digest abc;
  abc.Start();
  abc.Add("a", 1);
  abc.Add("bc", 2);
  abc.Finish();
  const std::array<uint8_t, 16> expected = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                            0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
  EXPECT_EQ(abc.value(), expected);
  EXPECT_TRUE(abc.Matches(abc));
  Md5Digest idle, unfinished;
  unfinished.Start();
  EXPECT_FALSE(idle.Matches(idle));
  EXPECT_FALSE(unfinished.Matches(unfinished));
  EXPECT_FALSE(abc.Matches(unfinished));
}

}  // namespace
}  // namespace tarvik
