// The engine's server-side copy against a server that copies less than it
// is asked for: the copy goes on where each answer stopped.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "copy/engine_state.h"
#include "copy_fixture.h"
#include "platform/fault_os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

// Passes every call on, but each copy-chunk request loses all its chunks
// but the first, and that one loses its second half plus a byte.
class ShortAnswersOs : public FaultOs {
 public:
  explicit ShortAnswersOs(const World& world) : FaultOs(std::make_unique<PosixOs>(world), {}) {}

  NTSTATUS NtFsControlFile(HANDLE file, HANDLE event, void* apc_routine, void* apc_context,
                           IO_STATUS_BLOCK* io_status, ULONG control_code, void* input,
                           ULONG input_length, void* output, ULONG output_length) override {
    if (control_code != FSCTL_SRV_COPYCHUNK || input_length < kCopyChunkHeaderSize + 24) {
      return FaultOs::NtFsControlFile(file, event, apc_routine, apc_context, io_status,
                                      control_code, input, input_length, output, output_length);
    }
    ++requests;
    std::vector<uint8_t> request(static_cast<uint8_t*>(input),
                                 static_cast<uint8_t*>(input) + kCopyChunkHeaderSize + 24);
    const ULONG one = 1;
    std::memcpy(request.data() + kResumeKeySize, &one, sizeof(one));
    SRV_COPYCHUNK chunk;
    std::memcpy(&chunk, request.data() + kCopyChunkHeaderSize, sizeof(chunk));
    if (chunk.Length > 1)
      chunk.Length = chunk.Length / 2 + 1;
    std::memcpy(request.data() + kCopyChunkHeaderSize, &chunk, sizeof(chunk));
    return FaultOs::NtFsControlFile(file, event, apc_routine, apc_context, io_status, control_code,
                                    request.data(), static_cast<ULONG>(request.size()), output,
                                    output_length);
  }

  int requests = 0;
};

TEST_F(CopyEngineTest, ShortChunkAnswersContinueWhereTheyStopped) {
  UseWorld(R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"}}, "servers": [{"name": "FS",
      "sid": "S-1-5-21-1-2-3", "shares": [{"name": "a", "path": "a", "server_side_copy": true},
      {"name": "b", "path": "b", "server_side_copy": true}]}]})");
  std::string data(3 * 1048576 + 12345, '\0');
  std::mt19937 generator(7);
  for (char& byte : data)
    byte = static_cast<char>(generator());
  world().WriteFile(L"\\\\FS\\a\\src\\f", data);
  world().CreateDirectory(L"\\\\FS\\b");
  ShortAnswersOs os(world().world());
  Os* previous = Os::Install(&os);
  Settings().chunkMode = kChunkModeServerCopy;
  const CopyRun run = Run(L"\\\\FS\\a\\src", L"\\\\FS\\b\\dst");
  Os::Install(previous);
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_TRUE(world().ReadFile(L"\\\\FS\\b\\dst\\f") == data);  // no dump of 3 MiB
  // Every answer fell short of its request: many more requests than the
  // one that three chunks would need.
  EXPECT_GT(os.requests, 8);
}

}  // namespace
}  // namespace tarvik
