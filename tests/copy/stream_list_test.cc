// The stream list as a server answers it, and answers no server should give.
#include "copy/stream_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tarvik {
namespace {

struct Record {
  std::u16string name;
  uint64_t size;
};

// Records as the query lays them out: 8-byte aligned, the last one with a
// next-entry offset of 0.
std::vector<uint8_t> Answer(const std::vector<Record>& records) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < records.size(); ++i) {
    const size_t start = out.size();
    const uint32_t name_bytes = static_cast<uint32_t>(records[i].name.size() * 2);
    out.resize(start + 24 + name_bytes);
    std::memcpy(&out[start + 4], &name_bytes, 4);
    std::memcpy(&out[start + 8], &records[i].size, 8);
    std::memcpy(&out[start + 24], records[i].name.data(), name_bytes);
    if (i + 1 == records.size())
      break;
    out.resize((out.size() + 7) & ~size_t{7});
    const uint32_t next = static_cast<uint32_t>(out.size() - start);
    std::memcpy(&out[start], &next, 4);
  }
  return out;
}

std::vector<std::wstring> Names(const std::vector<uint8_t>& answer, bool* damaged) {
  StreamListReader reader(answer.data(), answer.size());
  std::vector<std::wstring> names;
  NamedStream stream;
  *damaged = false;
  for (;;) {
    StreamListReader::Step step = reader.Next(&stream);
    if (step == StreamListReader::Step::kEnd)
      return names;
    if (step == StreamListReader::Step::kDamaged) {
      *damaged = true;
      return names;
    }
    names.push_back(stream.objectName + L"=" + std::to_wstring(stream.size));
  }
}

TEST(StreamListTest, NamedStreamsInOrderWithoutTheUnnamedOne) {
  bool damaged;
  auto names =
      Names(Answer({{u"::$DATA", 10}, {u":one:$DATA", 3}, {u"", 1}, {u":Two:$data", 0}}), &damaged);
  EXPECT_FALSE(damaged);
  EXPECT_EQ(names, (std::vector<std::wstring>{L":one=3", L":Two=0"}));
  EXPECT_TRUE(Names({}, &damaged).empty());
  EXPECT_FALSE(damaged);
}

TEST(StreamListTest, AnAnswerThatCannotBeTrustedStopsTheList) {
  bool damaged;
  // A name that would leave the object, or is not a data stream.
  for (const char16_t* name : {u":a\\b:$DATA", u":a:b:$DATA", u":x:$INDEX_ALLOCATION", u"x"}) {
    Names(Answer({{u":ok:$DATA", 1}, {name, 1}}), &damaged);
    EXPECT_TRUE(damaged) << std::u16string(name).size();
  }
  // A name running past the answer, and a next record beyond it.
  std::vector<uint8_t> answer = Answer({{u":ok:$DATA", 1}});
  uint32_t too_long = 1000;
  std::memcpy(&answer[4], &too_long, 4);
  Names(answer, &damaged);
  EXPECT_TRUE(damaged);
  answer = Answer({{u":ok:$DATA", 1}});
  uint32_t beyond = static_cast<uint32_t>(answer.size());
  std::memcpy(&answer[0], &beyond, 4);
  EXPECT_EQ(Names(answer, &damaged).size(), 1u);
  EXPECT_TRUE(damaged);
}

}  // namespace
}  // namespace tarvik
