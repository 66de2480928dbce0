#include "scan/dir_cmp.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "memory_os.h"
#include "scan_fixture.h"

namespace tarvik {
namespace {

using Events = std::vector<std::wstring>;

constexpr int64_t kSecond = 10000000;
constexpr int64_t kBase = 130000000000000000;  // some day in 2012

FindData WithTime(int64_t last_write) {
  FindData entry;
  entry.data.ftLastWriteTime =
      FILETIME{static_cast<DWORD>(static_cast<uint64_t>(last_write)),
               static_cast<DWORD>(static_cast<uint64_t>(last_write) >> 32)};
  return entry;
}

TEST(CompareTimesTest, OneSecondToleranceAndTheRecoveryMark) {
  FindData source = WithTime(kBase);
  EXPECT_EQ(DirCmp::CompareTimes(source, WithTime(kBase)), kSameAge);
  EXPECT_EQ(DirCmp::CompareTimes(source, WithTime(kBase + kSecond / 2)), kSameAge);
  EXPECT_EQ(DirCmp::CompareTimes(source, WithTime(kBase - kSecond / 2)), kSameAge);
  EXPECT_EQ(DirCmp::CompareTimes(source, WithTime(kBase + kSecond)), kSameAge);
  EXPECT_EQ(DirCmp::CompareTimes(source, WithTime(kBase + kSecond + 1)), kSourceOlder);
  EXPECT_EQ(DirCmp::CompareTimes(source, WithTime(kBase - kSecond - 1)), kSourceNewer);
  EXPECT_EQ(DirCmp::CompareTimes(source, WithTime(recoveryMarkTime)), kRecover);
  EXPECT_EQ(DirCmp::CompareTimes(WithTime(recoveryMarkTime), WithTime(recoveryMarkTime)), kRecover);
  // The ends of the range do not overflow.
  EXPECT_EQ(DirCmp::CompareTimes(WithTime(0), WithTime(-1)), kSourceOlder);
  EXPECT_EQ(DirCmp::CompareTimes(WithTime(-1), WithTime(0)), kSourceNewer);
}

class DirCmpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().recurse = 1;
    os_.AddDirectory(L"C:\\src", kBase);
    os_.AddDirectory(L"C:\\dst", kBase);
  }

  Events Compare(RecordingCmp& cmp, const std::wstring& target = L"C:\\dst") {
    EXPECT_TRUE(cmp.SetSourceRoot(L"C:\\src"));
    EXPECT_TRUE(cmp.PrepareTargetRoot(target));
    EXPECT_EQ(cmp.FindSubDir(), 0);
    return cmp.events;
  }

  MemoryOs os_;
  ScanStateGuard guard_;
};

TEST_F(DirCmpTest, FilesAreClassifiedByDate) {
  os_.AddFile(L"C:\\src\\new", 1, kBase + 5 * kSecond);
  os_.AddFile(L"C:\\dst\\new", 1, kBase);
  os_.AddFile(L"C:\\src\\old", 1, kBase);
  os_.AddFile(L"C:\\dst\\old", 1, kBase + 5 * kSecond);
  os_.AddFile(L"C:\\src\\same", 1, kBase);
  os_.AddFile(L"C:\\dst\\same", 1, kBase + kSecond / 2);
  os_.AddFile(L"C:\\src\\gone", 1, kBase);
  os_.AddFile(L"C:\\src\\broken", 1, kBase - 1000 * kSecond);
  os_.AddFile(L"C:\\dst\\broken", 1, recoveryMarkTime);
  os_.AddFile(L"C:\\dst\\extra", 1, kBase);
  RecordingCmp cmp;
  Events events = Compare(cmp);
  EXPECT_EQ(events, (Events{L"dir-newer C:\\dst\\", L"enter-target C:\\dst\\",
                            L"file-newer C:\\dst\\broken", L"file-missing C:\\dst\\gone",
                            L"file-newer C:\\dst\\new", L"file-older C:\\dst\\old",
                            L"file-same C:\\dst\\same", L"left extra"}));
  EXPECT_EQ(cmp.source_newer_count(), 1u);
  EXPECT_EQ(cmp.source_older_count(), 1u);
  EXPECT_EQ(cmp.same_age_count(), 1u);
  EXPECT_EQ(cmp.recovery_count(), 1u);
  EXPECT_NE(os_.console().find(
                L"C:\\dst\\broken -> File will be recovered following posterior copy failure"),
            std::wstring::npos);
}

TEST_F(DirCmpTest, TheDifferenceReportOfDirCmpItself) {
  os_.AddFile(L"C:\\src\\a", 1, kBase);
  os_.AddFile(L"C:\\dst\\a", 1, kBase);
  os_.AddFile(L"C:\\src\\b", 2, kBase);
  os_.AddFile(L"C:\\dst\\b", 3, kBase);
  os_.AddDirectory(L"C:\\src\\sub", kBase);
  // A DirCmp alone lists nothing: fill the root's maps by hand, then walk.
  class Listing : public DirCmp {
   public:
    int OnEnterTargetDirectory() override {
      if (GetTargetDir()->parent == nullptr) {
        for (const wchar_t* name : {L"a", L"b"}) {
          auto entry = std::make_unique<FindData>();
          entry->SetLongName(name);
          entry->data.ftLastWriteTime =
              FILETIME{static_cast<DWORD>(kBase), static_cast<DWORD>(kBase >> 32)};
          entry->data.nFileSizeLow = 1;
          GetTargetDir()->AddEntry(std::move(entry));
        }
      }
      return DirCmp::OnEnterTargetDirectory();
    }
  } cmp;
  ASSERT_TRUE(cmp.SetSourceRoot(L"C:\\src"));
  ASSERT_TRUE(cmp.PrepareTargetRoot(L"C:\\dst"));
  ASSERT_EQ(cmp.FindSubDir(), 0);
  std::wstring console = os_.console();
  for (const wchar_t* line : {
           L"C:\\src\\ directory is newer than C:\\dst\\ directory\n",
           L"Entering directory C:\\dst\\\n",
           L"C:\\src\\a and C:\\dst\\a files are identical\n",
           L"C:\\src\\b and C:\\dst\\b files have same date but not same size !\n",
           L"C:\\dst\\sub directory does not exist\n",
           L"Entering directory C:\\dst\\sub\\\n",
           L"Leaving directory C:\\dst\\sub\\\n",
       }) {
    EXPECT_NE(console.find(line), std::wstring::npos) << line;
  }
}

TEST_F(DirCmpTest, CaseDifferences) {
  os_.AddFile(L"C:\\src\\abc.txt", 1, kBase);
  os_.AddFile(L"C:\\dst\\ABC.txt", 1, kBase);
  os_.AddFile(L"C:\\src\\same.txt", 1, kBase);
  os_.AddFile(L"C:\\dst\\same.txt", 1, kBase);
  os_.AddFile(L"C:\\src\\Abc.Doc", 1, kBase);
  os_.AddFile(L"C:\\dst\\abc.doc", 1, kBase);
  os_.AddDirectory(L"C:\\src\\Sub", kBase);
  os_.AddDirectory(L"C:\\dst\\sub", kBase);
  {
    RecordingCmp cmp;
    Events events = Compare(cmp);
    Events cases = EventsStartingWith(events, L"file-case");
    std::sort(cases.begin(), cases.end());  // "abc.txt" and "Abc.Doc" sort alike
    EXPECT_EQ(cases, (Events{L"file-case ABC.txt", L"file-case abc.doc"}));
    EXPECT_EQ(EventsStartingWith(events, L"dir-case"), (Events{L"dir-case Sub"}));
  }
  // With /nocase the source side is compared in lower case.
  Settings().lowerCaseNames = 1;
  RecordingCmp cmp;
  Events events = Compare(cmp);
  EXPECT_EQ(EventsStartingWith(events, L"file-case"), (Events{L"file-case ABC.txt"}));
  EXPECT_EQ(EventsStartingWith(events, L"dir-case"), (Events{}));
}

TEST_F(DirCmpTest, DirectoriesAreComparedWhenEntered) {
  os_.AddDirectory(L"C:\\src\\newer", kBase + 10 * kSecond);
  os_.AddDirectory(L"C:\\dst\\newer", kBase);
  os_.AddDirectory(L"C:\\src\\older", kBase);
  os_.AddDirectory(L"C:\\dst\\older", kBase + 10 * kSecond);
  os_.AddDirectory(L"C:\\src\\same", kBase);
  os_.AddDirectory(L"C:\\dst\\same", kBase);
  os_.AddDirectory(L"C:\\dst\\extra", kBase);
  RecordingCmp cmp;
  Events events = Compare(cmp);
  EXPECT_EQ(events, (Events{L"dir-newer C:\\dst\\", L"enter-target C:\\dst\\",
                            L"dir-newer C:\\dst\\newer\\", L"enter-target C:\\dst\\newer\\",
                            L"leave-target C:\\dst\\newer\\", L"dir-older C:\\dst\\older\\",
                            L"enter-target C:\\dst\\older\\", L"leave-target C:\\dst\\older\\",
                            L"dir-same C:\\dst\\same\\", L"enter-target C:\\dst\\same\\",
                            L"leave-target C:\\dst\\same\\"}));
  // What is left in the root's directory map has no source counterpart.
  EXPECT_EQ(cmp.GetTargetDir()->dir_map.size(), 1u);
  EXPECT_NE(cmp.GetTargetDir()->dir_map.count(L"extra"), 0u);
  EXPECT_EQ(cmp.target_dir_count(), 1u);
}

TEST_F(DirCmpTest, FileAgainstDirectoryMismatches) {
  os_.AddFile(L"C:\\src\\x", 1, kBase);
  os_.AddDirectory(L"C:\\dst\\x", kBase);
  os_.AddDirectory(L"C:\\src\\y", kBase);
  os_.AddFile(L"C:\\src\\y\\inner", 1, kBase);
  os_.AddFile(L"C:\\dst\\y", 1, kBase);
  RecordingCmp cmp;
  cmp.create_missing = true;
  cmp.should_be_directory_result = 0;
  Events events = Compare(cmp);
  // A source file whose name is a directory on the target only looks missing.
  EXPECT_EQ(EventsStartingWith(events, L"file-missing"), (Events{L"file-missing C:\\dst\\x"}));
  // A source directory whose name is a file on the target.
  EXPECT_EQ(EventsStartingWith(events, L"should-be-dir"), (Events{L"should-be-dir C:\\dst\\y\\"}));
  EXPECT_EQ(cmp.mismatched_files(), 1u);
  EXPECT_TRUE(EventsStartingWith(events, L"enter-target C:\\dst\\y").empty());

  // A directory stored among the files is reported as should-be-file.
  class DirectoriesAsFiles : public RecordingCmp {
   public:
    int OnEnterTargetDirectory() override {
      int result = RecordingCmp::OnEnterTargetDirectory();
      TargetDir* state = GetTargetDir();
      for (auto& [key, entry] : state->dir_map)
        state->file_map[key] = std::move(entry);
      state->dir_map.clear();
      return result;
    }
  } odd;
  events = Compare(odd);
  EXPECT_EQ(EventsStartingWith(events, L"should-be-file"), (Events{L"should-be-file C:\\dst\\x"}));
  EXPECT_EQ(odd.mismatched_dirs(), 1u);
  odd.PrintStatistics();
  std::wstring label = L"Number of MisMatched directories";
  EXPECT_NE(os_.console().find(label + std::wstring(42 - label.size(), L' ') + L": 1\n"),
            std::wstring::npos);
}

TEST_F(DirCmpTest, TheRootIsAlwaysNewerAndItsTypedNameIsChecked) {
  os_.AddFile(L"C:\\src\\a", 1, kBase);
  RecordingCmp cmp;
  Events events = Compare(cmp, L"C:\\DST");
  EXPECT_EQ(events.front(), L"dir-newer C:\\DST\\");
  EXPECT_NE(os_.console().find(L"C:\\dst -> should be renamed to C:\\DST"), std::wstring::npos);
}

TEST_F(DirCmpTest, AMissingTargetRootIsEnteredOnlyWhenCreated) {
  os_.AddFile(L"C:\\src\\a", 1, kBase);
  {
    RecordingCmp cmp;
    EXPECT_EQ(Compare(cmp, L"C:\\new"), (Events{L"dir-missing C:\\new\\"}));
  }
  RecordingCmp cmp;
  cmp.create_missing = true;
  EXPECT_EQ(Compare(cmp, L"C:\\new"), (Events{L"dir-missing C:\\new\\", L"enter-target C:\\new\\",
                                              L"file-missing C:\\new\\a"}));
  EXPECT_TRUE(os_.Exists(L"C:\\new"));
}

TEST_F(DirCmpTest, MissingSubDirectoriesArePlaceholdersUntilEntered) {
  os_.AddFile(L"C:\\src\\sub\\a", 1, kBase);
  os_.AddFile(L"C:\\dst\\a", 1, kBase);  // same name one level up: no match
  RecordingCmp cmp;
  Events events = Compare(cmp);
  EXPECT_EQ(events, (Events{L"dir-newer C:\\dst\\", L"enter-target C:\\dst\\",
                            L"dir-missing C:\\dst\\sub", L"left a", L"enter-target C:\\dst\\sub\\",
                            L"file-missing C:\\dst\\sub\\a", L"leave-target C:\\dst\\sub\\"}));
}

TEST_F(DirCmpTest, LowerCaseTargetPathsWithNoCase) {
  Settings().lowerCaseNames = 1;
  os_.AddFile(L"C:\\src\\Sub\\File.TXT", 1, kBase);
  RecordingCmp cmp;
  Events events = Compare(cmp);
  EXPECT_EQ(EventsStartingWith(events, L"file-missing"),
            (Events{L"file-missing C:\\dst\\sub\\file.txt"}));
}

TEST_F(DirCmpTest, AFailedReadingLeavesNoExtrasForThePurge) {
  Settings().continueOnError = 1;
  os_.AddFile(L"C:\\src\\a", 1, kBase);
  os_.AddFile(L"C:\\src\\b", 1, kBase);
  os_.AddFile(L"C:\\dst\\a", 1, kBase);
  os_.AddFile(L"C:\\dst\\b", 1, kBase);
  os_.AddDirectory(L"C:\\dst\\d", kBase);
  os_.Fail("FindNextFileW", L"C:\\src", ERROR_ACCESS_DENIED, 1);
  RecordingCmp cmp;
  Events events = Compare(cmp);
  // Nothing was matched, and nothing may be taken for an extra.
  EXPECT_TRUE(EventsStartingWith(events, L"file").empty());
  EXPECT_TRUE(EventsStartingWith(events, L"left").empty());
  EXPECT_TRUE(cmp.GetTargetDir()->dir_map.empty());
  EXPECT_NE(os_.console().find(L"C:\\src\\ -> Unable to get the content"), std::wstring::npos);
}

TEST_F(DirCmpTest, PathHelpers) {
  RecordingCmp cmp;
  ASSERT_TRUE(cmp.PrepareTargetRoot(L"C:\\dst"));
  cmp.AppendRelativePath(L"A");
  EXPECT_EQ(cmp.relative_path(), L"A\\");
  EXPECT_EQ(cmp.target_path(), L"C:\\dst\\A\\");
  EXPECT_EQ(cmp.target_path_long(), L"\\\\?\\C:\\dst\\A\\");
  cmp.SetTargetEntryPath(L"File", true);
  EXPECT_EQ(cmp.target_path(), L"C:\\dst\\a\\file");
  cmp.SetTargetEntryPath(std::wstring(192, L'n'), false);  // 8 + 2 + 192 = 202
  EXPECT_EQ(cmp.target_path(), cmp.target_path_long());
  cmp.AppendRelativePath(L"");
  EXPECT_EQ(cmp.target_path(), L"C:\\dst\\A\\");
}

}  // namespace
}  // namespace tarvik
