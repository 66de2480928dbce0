#include "log/message_text.h"

#include <cstdint>
#include <string>
#include <vector>

#include "log_fixture.h"

namespace tarvik {
namespace {

TEST(FormatByteSizeTest, LargestUnitTruncatedThenGroupedExactCount) {
  EXPECT_EQ(FormatByteSize(0), L"0 Byte(s) (0 Byte(s))");
  EXPECT_EQ(FormatByteSize(999), L"999 Byte(s) (999 Byte(s))");
  EXPECT_EQ(FormatByteSize(1023), L"1023 Byte(s) (1 023 Byte(s))");
  EXPECT_EQ(FormatByteSize(1024), L"1 KB (1 024 Byte(s))");
  EXPECT_EQ(FormatByteSize(12345678), L"11 MB (12 345 678 Byte(s))");
  EXPECT_EQ(FormatByteSize(1073741823), L"1023 MB (1 073 741 823 Byte(s))");
  EXPECT_EQ(FormatByteSize(1073741824), L"1 GB (1 073 741 824 Byte(s))");
  EXPECT_EQ(FormatByteSize(UINT64_MAX), L"17179869183 GB (18 446 744 073 709 551 615 Byte(s))");
}

TEST(HexDumpTest, SixteenBytesALineWithDotsAfterTheEnd) {
  std::vector<uint8_t> bytes(20);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(0xF0 + i);
  const std::wstring ruler =
      L"   |@________    0__________   4__________   8__________   C__________\n";
  EXPECT_EQ(HexDumpText(bytes.data(), bytes.size(), L"Owner"),
            L"\n   Owner\n" + ruler +
                L"   |0000.0000:   f0 f1 f2 f3   f4 f5 f6 f7   f8 f9 fa fb   fc fd fe ff \n"
                L"   |0000.0010:   00 01 02 03   .. .. .. ..   .. .. .. ..   .. .. .. .. \n");
  EXPECT_EQ(HexDumpText(nullptr, 0, nullptr), ruler);

  std::vector<uint8_t> big(0x10010);
  std::wstring text = HexDumpText(big.data(), big.size(), nullptr);
  EXPECT_NE(text.find(L"   |0001.0000:   00 "), std::wstring::npos);
}

class MessageTextTest : public LogTest {};

TEST_F(MessageTextTest, HexDumpPrintsOneTextThroughTheLog) {
  uint8_t byte = 0xAB;
  HexDump(&byte, 1, L"t");
  auto writes = os_.console_writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].text, HexDumpText(&byte, 1, L"t"));
}

class BytesStream : public ByteStream {
 public:
  explicit BytesStream(std::string bytes, bool fail_at_end = false)
      : bytes_(std::move(bytes)), fail_(fail_at_end) {}
  Result Read(uint8_t* byte) override {
    if (position_ == bytes_.size())
      return fail_ ? Result::kError : Result::kEnd;
    *byte = static_cast<uint8_t>(bytes_[position_++]);
    return Result::kByte;
  }

 private:
  std::string bytes_;
  bool fail_;
  size_t position_ = 0;
};

TEST(ReadTextLineTest, LinesEndAtLineFeedsAndTheLastComesWithEndOfFile) {
  BytesStream stream("a\r\nb");
  std::wstring line = L"stale";
  EXPECT_EQ(ReadTextLine(stream, &line), 0u);
  EXPECT_EQ(line, L"a");
  EXPECT_EQ(ReadTextLine(stream, &line), 38u);
  EXPECT_EQ(line, L"b");
  EXPECT_EQ(ReadTextLine(stream, &line), 38u);
  EXPECT_EQ(line, L"");

  BytesStream broken("x", /*fail_at_end=*/true);
  EXPECT_EQ(ReadTextLine(broken, &line), 30u);
  EXPECT_EQ(line, L"x");

  BytesStream utf8("Jos\xC3\xA9\n");
  EXPECT_EQ(ReadTextLine(utf8, &line), 0u);
  EXPECT_EQ(line, L"Jos\u00e9");
}

TEST_F(MessageTextTest, FileByteStreamReadsThroughTheOs) {
  std::string content(5000, 'z');
  content += "\nend";
  os_.SetFile(L"C:\\map.txt", content);
  HANDLE file = os_.CreateFileW(L"C:\\map.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  FileByteStream stream(file);
  std::wstring line;
  EXPECT_EQ(ReadTextLine(stream, &line), 0u);
  EXPECT_EQ(line.size(), 5000u);
  EXPECT_EQ(ReadTextLine(stream, &line), 38u);
  EXPECT_EQ(line, L"end");
  os_.FailReads(ERROR_NETNAME_DELETED);
  EXPECT_EQ(ReadTextLine(stream, &line), 30u);
  os_.CloseHandle(file);
}

TEST_F(MessageTextTest, PrintWithSystemTextWritesDirectlyWithTheSystemText) {
  ASSERT_TRUE(CreateLogSystem(true));
  PrintWithSystemText(5, L"NetUserEnum(%s)", L"\\\\srv");
  EXPECT_EQ(os_.console_text(), L"NetUserEnum(\\\\srv) Error=Access is denied.\n\n");
  PrintWithSystemText(9999, L"next");
  EXPECT_EQ(os_.console_text(), L"NetUserEnum(\\\\srv) Error=Access is denied.\n\nnext");
}

}  // namespace
}  // namespace tarvik
