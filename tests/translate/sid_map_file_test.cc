// The SID map file: sections, the four record types, every message with its
// line number, hostile lines, and the load through the translator's
// preparation.
#include "translate/sid_map_file.h"

#include <gtest/gtest.h>

#include "platform/os.h"
#include "translate/translator_fixture.h"
#include "translate/translator_init.h"

namespace tarvik {
namespace {

class SidMapFileTest : public TranslatorTest {
 protected:
  SidMapFileTest() {
    source_.name = L"\\\\FS1";
    source_.qualifiedName = L"\\\\FS1.CORP";
    target_.name = L"\\\\FS2";
    target_.qualifiedName = L"\\\\FS2.CORP";
  }

  // Reads text as a whole map file into a fresh table; what it printed.
  std::wstring Read(const std::string& text) {
    table_.Clear();
    SidMapReader reader(source_, target_, &table_);
    ReadSidMapText(text, &reader);
    counts_ = reader.counts();
    return world_.TakeOutput();
  }

  // The table's word on sid: its target, "REVOKED", or "none".
  std::wstring Entry(const std::wstring& sid) {
    std::optional<SidMapEntry> entry = table_.Find(SidOf(sid));
    if (!entry)
      return L"none";
    return entry->revoked ? L"REVOKED" : entry->target.ToString();
  }

  Server source_;
  Server target_;
  SidMapTable table_;
  SidMapCounts counts_;
};

TEST_F(SidMapFileTest, SectionsSeparatorsAndDuplicates) {
  const std::wstring output = Read(
      "S-1-5-21-1-2-3-500,S-1-5-21-4-5-6-500\n"  // 1: no section yet
      "# S-1-5-21-1-2-3-500:S-1-1-0\n"
      "\n"
      "sid_to_sid\n"                               // 4
      "S-1-5-21-1-2-3-500:S-1-5-21-4-5-6-500\n"    // 5
      "S-1-5-21-1-2-3-500,S-1-5-21-4-5-6-501\n"    // 6: the first word stays
      "S-1-5-21-1-2-3-1001,revoked\n"              // 7
      "SID_TO_SID \n"                              // 8: a record, not a header
      "S-1-5-21-1-2-3-1002\n"                      // 9
      "S-1-5-21-x-1003,S-1-1-0\n"                  // 10
      "S-1-5-21-1-2-3-1004,S-1-5-2x\n"             // 11
      "S-1-5-21-1-2-3-1005, S-1-1-0\n"             // 12: blanks are not removed
      "HSID_TO_HSID\n"                             // 13
      "S-1-5-15-1-2-3-1F4:S-1-5-15-7-8-9-3E8\n"    // 14: RID 500 again
      "S-1-5-15-1-2-3-3ea:S-1-5-15-7-8-9-3EB\n");  // 15
  EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-500"), L"S-1-5-21-4-5-6-500");
  EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-1001"), L"REVOKED");
  EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-1002"), L"S-1-5-21-7-8-9-1003");
  for (const wchar_t* absent :
       {L"S-1-5-21-1-2-3-1003", L"S-1-5-21-1-2-3-1004", L"S-1-5-21-1-2-3-1005", L"S-1-1-0"}) {
    EXPECT_EQ(Entry(absent), L"none") << absent;
  }
  EXPECT_EQ(table_.size(), 3u);
  for (const wchar_t* message : {
           L"ERROR : Line 1 : record type not specified, mapping discarded : "
           L"S-1-5-21-1-2-3-500,S-1-5-21-4-5-6-500 \n",
           L"ERROR : Line 6 : duplicate mapping for S-1-5-21-1-2-3-500, mapping discarded \n",
           L"ERROR : Line 8 : Bad record : SID_TO_SID \n",
           L"ERROR : Line 9 : Bad record : S-1-5-21-1-2-3-1002\n",
           L"ERROR : ELine 10 : error in source SID string : S-1-5-21-x-1003\n",
           L"ERROR : Line 11 : Error in target SID string : S-1-5-2x\n",
           L"ERROR : Line 12 : Error in target SID string :  S-1-1-0\n",
           L"ERROR : Line 14 : duplicate mapping for S-1-5-21-1-2-3-500, mapping discarded \n",
       }) {
    EXPECT_TRUE(Holds(output, message)) << message << "\n" << output;
  }
  EXPECT_EQ(counts_.mappings, 2);
  EXPECT_EQ(counts_.revoked, 1);
  EXPECT_EQ(counts_.rejected, 8);
  EXPECT_EQ(counts_.otherServers, 0);
}

TEST_F(SidMapFileTest, WindowsLineEndsWithoutAFinalOneGiveTheSameTable) {
  const std::vector<std::string> lines = {"SID_TO_SID", "S-1-5-21-1-2-3-500,S-1-5-21-4-5-6-500",
                                          "bad", "S-1-5-21-1-2-3-501,REVOKED",
                                          "S-1-5-21-1-2-3-502,S-1-5-21-4-5-6-502"};
  std::string unix_text;
  std::string windows_text;
  for (size_t i = 0; i < lines.size(); ++i) {
    unix_text += lines[i] + "\n";
    windows_text += lines[i] + (i + 1 < lines.size() ? "\r\n" : "");
  }
  for (const std::string& text : {unix_text, windows_text, "\r" + windows_text + "\r"}) {
    SCOPED_TRACE(text);
    const std::wstring output = Read(text);
    EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-500"), L"S-1-5-21-4-5-6-500");
    EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-501"), L"REVOKED");
    EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-502"), L"S-1-5-21-4-5-6-502");
    EXPECT_EQ(table_.size(), 3u);
    EXPECT_TRUE(Holds(output, L"ERROR : Line 3 : Bad record : bad\n")) << output;
  }
}

TEST_F(SidMapFileTest, AccountNamesAndServerQualifiedRecords) {
  const std::wstring fs1 = L"S-1-5-21-1004336348-1177238915-682003330";
  const std::wstring output = Read(
      "ENUM_TYPE\n"                                                 // 1
      "user,CORP,\"CORP\\alice\",S-1-5-21-7-8-9-2211\n"             // 2
      "group:CORP:Sales:\"REVOKED\"\n"                              // 3: FS1's Sales
      "user,CORP,CORP\\nobody,S-1-5-21-7-8-9-2212\n"                // 4
      "user,CORP,CORP\\alice\n"                                     // 5
      "QEL_RECORD\n"                                                // 6
      "OTHER,SID:S-1-5-21-1-2-3-7,FS2,SID:S-1-5-21-7-8-9-7\n"       // 7
      "\"\\\\fs1\",name:svc_backup,FS2.corp,USER:\"svc_backup\"\n"  // 8
      "FS1,HSID:S-1-5-15-1-2-3-7,revoked\n"                         // 9
      "FS1,SID:S-1-5-21-1-2-3-8,FS9,SID:S-1-5-21-7-8-9-8\n"         // 10
      "FS1,SID:S-1-5-21-1-2-3-9,FS2,SID:S-1-5-21-7-8-9-9,x\n"       // 11
      "FS1,ACCOUNT:x,FS2,SID:S-1-1-0\n"                             // 12
      "FS1,SID:S-1-5-21-1-2-3-10\n"                                 // 13
      "FS1,SID:S-1-5-21-1-2-3-11,FS2,NAME:ghost\n"                  // 14
      "FS1,SID:bad,FS2,SID:S-1-1-0\n"                               // 15
      "FS1,SID:S-1-5-21-1-2-3-12,FS2,HSID:zz\n"                     // 16
      "FS1,GROUP:Sales,FS2,GROUP:Sales\n"                           // 17
      "FS1,SID:S-1-5-21-1-2-3-13,FS2,SID:S-1-5-21-7-8-9-13\n"       // 18
      "FS1,NAME:svc_backup,FS3,USER:svc_backup");                   // 19: no duplicate
  EXPECT_EQ(Entry(Rid(kCorp, 1104)), L"S-1-5-21-7-8-9-2211");
  EXPECT_EQ(Entry(Rid(fs1.c_str(), 1003)), L"REVOKED");
  EXPECT_EQ(Entry(Rid(fs1.c_str(), 1001)), Rid(kFs2, 1010));
  EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-7"), L"REVOKED");
  EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-13"), L"S-1-5-21-7-8-9-13");
  EXPECT_EQ(table_.size(), 5u);
  for (const std::wstring& message : {
           std::wstring(
               L"ERROR : Line 4 : Unknown account CORP\\nobody on Source server \\\\FS1\n"),
           std::wstring(L"ERROR : Line 5 : Bad record : user,CORP,CORP\\alice\n"),
           std::wstring(L"ERROR : Line 7 : Not current source server, record discarded : OTHER,"),
           std::wstring(L"ERROR : Line 10 : Not current source server, record discarded : FS1,"),
           std::wstring(L"ERROR : Line 19 : Not current source server, record discarded : FS1,"),
           std::wstring(L"ERROR : Line 11 : Bad record : FS1,"),
           std::wstring(L"ERROR : Line 12 : Bad record : FS1,ACCOUNT:x"),
           std::wstring(L"ERROR : Line 13 : Bad record : FS1,SID:S-1-5-21-1-2-3-10\n"),
           std::wstring(L"ERROR : Line 14 : Unknown account ghost on target server \\\\FS2\n"),
           std::wstring(L"ERROR : Line 15 : Error in source SID string : bad\n"),
           std::wstring(L"ERROR : Line 16 : Error in target SID string : zz\n"),
           L"ERROR : Line 17 : duplicate mapping for " + Rid(fs1.c_str(), 1003) +
               L", mapping discarded \n",
       }) {
    EXPECT_TRUE(Holds(output, message)) << message << "\n" << output;
  }
  EXPECT_EQ(counts_.mappings, 3);
  EXPECT_EQ(counts_.revoked, 2);
  EXPECT_EQ(counts_.otherServers, 3);
  EXPECT_EQ(counts_.rejected, 9);
}

TEST_F(SidMapFileTest, HostileLinesAreReportedAndNeverKept) {
  const std::string long_sid = "S-1-5-" + std::string(3000, '1');
  std::string text = "ENUM_TYPE\n";
  // A NUL would cut the name where the lookup reads it: alice.
  text += std::string("u,CORP,CORP\\alice") + '\0' + "x,S-1-1-0\n";  // 2
  text += "SID_TO_SID\n";                                            // 3
  text += "S-1-5-21-1-2-3-21," + std::string(5000, 'x') + "\n";      // 4
  text += "\x1b[31m\n";                                              // 5
  text += long_sid + ",S-1-1-0\n";                                   // 6
  text += "\xff\xfe,S-1-1-0\n";                                      // 7
  text += "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15,S-1-1-0\n";     // 8
  text += "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16,S-1-1-0\n";  // 9
  text += "S-1-5-21-1-2-3-22,S-1-5-21-4-5-6-22\n";                   // 10
  const std::wstring output = Read(text);
  EXPECT_EQ(Entry(Rid(kCorp, 1104)), L"none");
  EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-21"), L"none");
  EXPECT_EQ(Entry(L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"), L"S-1-1-0");
  EXPECT_EQ(Entry(L"S-1-5-21-1-2-3-22"), L"S-1-5-21-4-5-6-22");
  EXPECT_EQ(table_.size(), 2u);
  for (const std::wstring& message : {
           std::wstring(L"ERROR : Line 2 : Bad record : u,CORP,CORP\\alice?x,S-1-1-0\n"),
           L"ERROR : Line 4 : Bad record : S-1-5-21-1-2-3-21," + std::wstring(62, L'x') + L"...\n",
           std::wstring(L"ERROR : Line 5 : Bad record : ?[31m\n"),
           L"ERROR : ELine 6 : error in source SID string : " +
               std::wstring(long_sid.begin(), long_sid.end()),
           std::wstring(L"ERROR : ELine 7 : error in source SID string : \u00ff\u00fe\n"),
           std::wstring(L"ERROR : ELine 9 : error in source SID string : S-1-5-1-2-3-4-5-6-7-8-"
                        L"9-10-11-12-13-14-15-16\n"),
       }) {
    EXPECT_TRUE(Holds(output, message)) << message.substr(0, 100) << "\n" << output.substr(0, 2000);
  }
  EXPECT_EQ(counts_.rejected, 6);
  EXPECT_FALSE(Holds(output, L"\x1b")) << output;
}

class SidMapLoadTest : public SidMapFileTest {
 protected:
  Server Resolve(const std::wstring& path) {
    Server server;
    EXPECT_TRUE(server.GetFromPath(path, true));
    return server;
  }

  // The map file on drive C:, written through the platform.
  std::wstring WriteMap(const std::string& text) {
    const wchar_t* path = L"C:\\map.txt";
    Os& os = Os::Current();
    HANDLE file = os.CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(
        os.WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    os.CloseHandle(file);
    return path;
  }
};

TEST_F(SidMapLoadTest, ThePreparedTranslatorConsultsTheMapFirst) {
  Settings().debugSecurity = 1;
  Settings().sidMapFile = WriteMap(
      "SID_TO_SID\n"
      "S-1-5-21-1004336348-1177238915-682003330-500,"
      "S-1-5-21-2340681723-1396251106-1876254395-2202\n"
      "S-1-5-21-3623811015-3361044348-30300820-1104,REVOKED\n"
      "nonsense\n");
  Server source = Resolve(L"C:\\src");
  Server target = Resolve(L"\\\\FS2\\plain");
  world_.TakeOutput();
  const bool prepared = InitSecurityTranslation(source, target, SecurityMode::Copy, false);
  std::wstring output = world_.TakeOutput();
  ASSERT_TRUE(prepared) << output;
  EXPECT_EQ(TheSdTranslator().sidMapRecordsRejected, 1);
  EXPECT_TRUE(Holds(output, L"Mapping added        : Administrator:" + Rid(kFs1, 500) +
                                L"--> migrator:" + Rid(kNewCorp, 2202)))
      << output;
  EXPECT_TRUE(Holds(output, L"Revoked SID added    : alice:" + Rid(kCorp, 1104))) << output;
  EXPECT_TRUE(Holds(output, L"Line 4 : Bad record : nonsense")) << output;

  // Before the local Administrator rule, and before keeping a domain account.
  SId result;
  ASSERT_TRUE(TranslateSid(&workspace_, SidOf(Rid(kFs1, 500)), &result, false));
  EXPECT_EQ(result.ToString(), Rid(kNewCorp, 2202));
  ASSERT_TRUE(TranslateSid(&workspace_, SidOf(Rid(kCorp, 1104)), &result, false));
  EXPECT_TRUE(result.revoked());
  world_.TakeOutput();
}

TEST_F(SidMapLoadTest, AFileThatCannotBeReadStopsThePreparation) {
  Server source = Resolve(L"C:\\src");
  Server target = Resolve(L"\\\\FS2\\plain");
  world_.TakeOutput();
  Settings().sidMapFile = L"C:\\missing\\map.txt";
  EXPECT_FALSE(InitSecurityTranslation(source, target, SecurityMode::Copy, false));
  EXPECT_FALSE(TheSdTranslator().initialized);
  const std::wstring output = world_.TakeOutput();
  const size_t open = output.find(L"Unable to open for read C:\\missing\\map.txt file");
  const size_t load = output.find(L"Unable to load the sid map file C:\\missing\\map.txt");
  const size_t stop = output.find(L"Unable to initialize the Security Descriptor translator");
  EXPECT_NE(open, std::wstring::npos) << output;
  EXPECT_TRUE(open < load && load < stop && stop != std::wstring::npos) << output;

  // A directory opens on some systems but cannot be read as a file.
  ResetSdTranslator();
  Os::Current().CreateDirectoryW(L"C:\\maps", nullptr);
  Settings().sidMapFile = L"C:\\maps";
  EXPECT_FALSE(InitSecurityTranslation(source, target, SecurityMode::Copy, false));
  EXPECT_TRUE(Holds(world_.TakeOutput(), L"Unable to load the sid map file")) << output;
}

}  // namespace
}  // namespace tarvik
