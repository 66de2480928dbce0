// Security replication by the built program between servers of different
// domains: the descriptors it writes into security.NTACL on real files, its
// output and its exit code, with the SID translation rules, the fixing modes
// and the backup and restore of descriptors.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/sd/descriptor_bytes.h"
#include "common/sd/sid_bytes.h"
#include "e2e_support.h"
#include "platform/posix/nt_acl.h"
#include "support/security_bytes.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

using AceBytes = std::vector<uint8_t>;
using AceList = std::vector<AceBytes>;

// The machines and domains of the world below.
const std::string kFs1 = "S-1-5-21-1004336348-1177238915-682003330";  // source member of CORP
const std::string kFs3 = "S-1-5-21-3-3-3";                            // target member of NEWCORP
const std::string kCorp = "S-1-5-21-3623811015-3361044348-30300820";
const std::string kNewCorp = "S-1-5-21-2340681723-1396251106-1876254395";
const std::string kNewDom = "S-1-5-21-8-8-8";
const std::string kOld = "S-1-5-21-6-6-6";  // migrated into NEWCORP, no longer exists

const std::string kEveryone = "S-1-1-0";
const std::string kCreatorOwner = "S-1-3-0";
const std::string kSystem = "S-1-5-18";

constexpr uint8_t kAllowed = 0;
constexpr uint8_t kDenied = 1;
constexpr uint8_t kAudit = 2;
constexpr uint8_t kStubAce = 0xA8;
constexpr uint8_t kObjectAndContainerInherit = 0x3;
constexpr uint8_t kInheritOnly = 0x8;
constexpr uint8_t kFailedAccess = 0x80;

constexpr uint32_t kFull = 0x1F01FF;
constexpr uint32_t kRead = 0x1200A9;
constexpr uint32_t kWrite = 0x100116;

std::string Rid(const std::string& domain, uint32_t rid) {
  return domain + "-" + std::to_string(rid);
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text)
    narrow.push_back(static_cast<char>(c));
  return narrow;
}

AceBytes Ace(uint8_t type, uint8_t flags, uint32_t mask, const std::string& sid) {
  AceBytes ace = {type, flags, 0, 0};
  for (int i = 0; i < 4; ++i)
    ace.push_back(static_cast<uint8_t>(mask >> (8 * i)));
  std::vector<uint8_t> sid_bytes = Sid(Wide(sid));
  ace.insert(ace.end(), sid_bytes.begin(), sid_bytes.end());
  ace[2] = static_cast<uint8_t>(ace.size());
  return ace;
}

AceBytes Allow(const std::string& sid, uint32_t mask = kFull, uint8_t flags = 0) {
  return Ace(kAllowed, flags, mask, sid);
}

// The stub-file marker of some storage servers: no SID, an opaque body.
AceBytes StubAce() {
  return {kStubAce, 0, 12, 0, 0x53, 0x54, 0x55, 0x42, 1, 0, 0, 0};
}

std::vector<uint8_t> AclOf(const AceList& aces) {
  std::vector<uint8_t> acl = {2, 0, 0, 0, static_cast<uint8_t>(aces.size()), 0, 0, 0};
  for (const AceBytes& ace : aces)
    acl.insert(acl.end(), ace.begin(), ace.end());
  acl[2] = static_cast<uint8_t>(acl.size());
  acl[3] = static_cast<uint8_t>(acl.size() >> 8);
  return acl;
}

// A descriptor with the owner and group (empty: none), the DACL and, when
// given, a SACL.
DescriptorParts Descriptor(const std::string& owner, const std::string& group, const AceList& dacl,
                           const std::optional<AceList>& sacl = std::nullopt,
                           SECURITY_DESCRIPTOR_CONTROL extra_control = 0) {
  DescriptorParts parts;
  parts.control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(SE_DACL_PRESENT | extra_control);
  if (!owner.empty())
    parts.owner = Sid(Wide(owner));
  if (!group.empty())
    parts.group = Sid(Wide(group));
  parts.dacl = AclOf(dacl);
  if (sacl) {
    parts.control |= SE_SACL_PRESENT;
    parts.sacl = AclOf(*sacl);
  }
  return parts;
}

// Where the descriptor of a host file lives: security.NTACL, or user.NTACL
// for a process that may not write security.* attributes.
void SetNtAcl(const std::string& path, const DescriptorParts& parts) {
  const std::string value = EncodeNtAcl(parts);
  if (setxattr(path.c_str(), "security.NTACL", value.data(), value.size(), 0) == 0)
    return;
  ASSERT_EQ(setxattr(path.c_str(), "user.NTACL", value.data(), value.size(), 0), 0) << path;
}

std::string RawNtAcl(const std::string& path) {
  for (const char* name : {"security.NTACL", "user.NTACL"}) {
    std::string value(65536, '\0');
    ssize_t size = getxattr(path.c_str(), name, value.data(), value.size());
    if (size >= 0) {
      value.resize(static_cast<size_t>(size));
      return value;
    }
  }
  return "";
}

std::optional<DescriptorParts> ReadNtAcl(const std::string& path) {
  const std::string value = RawNtAcl(path);
  if (value.empty())
    return std::nullopt;
  return DecodeNtAcl(value);
}

std::string SidText(const std::vector<uint8_t>& sid) {
  return sid.empty() ? "(none)" : Narrow(SidToString(sid));
}

// "type flags mask SID" for an entry with a SID, "type (size bytes)" for
// one without.
std::string EntryText(uint8_t type, uint8_t flags, uint32_t mask, const std::string& sid) {
  char text[160];
  std::snprintf(text, sizeof text, "%u 0x%02x 0x%06x %s", type, flags, mask, sid.c_str());
  return text;
}

std::string Entry(const AceBytes& ace) {
  if (ace[0] > 8) {
    char text[64];
    std::snprintf(text, sizeof text, "%u (%u bytes)", ace[0], ace[2] | (ace[3] << 8));
    return text;
  }
  uint32_t mask = ace[4] | (ace[5] << 8) | (ace[6] << 16) | (static_cast<uint32_t>(ace[7]) << 24);
  return EntryText(ace[0], ace[1], mask, SidText({ace.begin() + 8, ace.end()}));
}

std::vector<std::string> Entries(const AceList& aces) {
  std::vector<std::string> entries;
  for (const AceBytes& ace : aces)
    entries.push_back(Entry(ace));
  return entries;
}

// The entries of an ACL as the descriptor stores them, in order.
std::vector<std::string> Entries(const std::vector<uint8_t>& acl) {
  std::vector<std::string> entries;
  if (acl.size() < 8)
    return entries;
  const size_t count = acl[4] | (acl[5] << 8);
  size_t at = 8;
  for (size_t i = 0; i < count && at + 4 <= acl.size(); ++i) {
    const size_t size = acl[at + 2] | (acl[at + 3] << 8);
    if (size < 4 || at + size > acl.size())
      break;
    entries.push_back(Entry(AceBytes(acl.begin() + at, acl.begin() + at + size)));
    at += size;
  }
  return entries;
}

struct Observed {
  std::string owner;
  std::string group;
  std::vector<std::string> dacl;
  std::vector<std::string> sacl;
};

Observed Observe(const std::string& path) {
  Observed observed;
  std::optional<DescriptorParts> parts = ReadNtAcl(path);
  EXPECT_TRUE(parts.has_value()) << path << " has no readable NT ACL";
  if (!parts)
    return observed;
  observed.owner = SidText(parts->owner);
  observed.group = SidText(parts->group);
  observed.dacl = Entries(parts->dacl);
  observed.sacl = Entries(parts->sacl);
  return observed;
}

// A statistics line of the summary.
std::string Statistic(const std::string& label, int value, bool marked = false) {
  char text[128];
  std::snprintf(text, sizeof text, "%-42s: %d%s\n", label.c_str(), value, marked ? " !" : "");
  return text;
}

// FS1, a member server of CORP, runs the program and holds the source share;
// FS3, a member server of NEWCORP, holds the target share and is reached as
// NEWCORP\migrator, whose primary group is Movers. NEWCORP took over the
// accounts of the vanished domain OLD (S-1-5-21-6-6-6); NEWDOM is the new
// domain of /nd. The three live domains trust each other.
constexpr const char* kWorld = R"({
  "computer": "FS1",
  "domain": "CORP",
  "drives": {"C:": {"path": "@TMP@"}},
  "servers": [
    {"name": "FS1", "sid": "S-1-5-21-1004336348-1177238915-682003330", "role": "member",
     "domain": "CORP", "shares": [{"name": "data", "path": "@TMP@/fs1"}],
     "local_users": [{"name": "svc_backup", "rid": 1001}],
     "local_groups": [{"name": "Sales", "rid": 1003}, {"name": "Editors", "rid": 1004}]},
    {"name": "FS3", "sid": "S-1-5-21-3-3-3", "role": "member", "domain": "NEWCORP",
     "connect_as": "NEWCORP\\migrator", "shares": [{"name": "data", "path": "@TMP@/fs3"}],
     "local_users": [{"name": "svc_backup", "rid": 1010}],
     "local_groups": [{"name": "Sales", "rid": 1012}, {"name": "FS1_Editors", "rid": 1020}]},
    {"name": "DC1", "role": "domain_controller", "domain": "CORP"},
    {"name": "DC2", "role": "domain_controller", "domain": "NEWCORP"},
    {"name": "DC3", "role": "domain_controller", "domain": "NEWDOM"}
  ],
  "domains": [
    {"name": "CORP", "sid": "S-1-5-21-3623811015-3361044348-30300820", "controller": "DC1",
     "accounts": [
       {"name": "alice", "rid": 1104},
       {"name": "Sales Team", "rid": 1106, "type": "group"},
       {"name": "Schema Admins", "rid": 518, "type": "group"},
       {"name": "Enterprise Admins", "rid": 519, "type": "group"},
       {"name": "Auditors", "rid": 1120, "type": "group"}
     ],
     "trusts": [{"domain": "NEWCORP"}, {"domain": "NEWDOM"}]},
    {"name": "NEWCORP", "sid": "S-1-5-21-2340681723-1396251106-1876254395", "controller": "DC2",
     "accounts": [
       {"name": "Administrator", "rid": 500, "sid_history": ["S-1-5-21-6-6-6-500"]},
       {"name": "migrator", "rid": 2202, "primary_group": 2210},
       {"name": "dave", "rid": 2205, "sid_history": ["S-1-5-21-6-6-6-1300"]},
       {"name": "Movers", "rid": 2210, "type": "group"}
     ],
     "trusts": [{"domain": "NEWDOM"}]},
    {"name": "NEWDOM", "sid": "S-1-5-21-8-8-8", "controller": "DC3",
     "accounts": [
       {"name": "alice", "rid": 3104},
       {"name": "Enterprise Admins", "rid": 519, "type": "group"}
     ]}
  ],
  "token": {"user": "CORP\\Administrator",
            "privileges": ["SeBackupPrivilege", "SeRestorePrivilege", "SeSecurityPrivilege"]},
  "faults": @FAULTS@
})";

class SecurityE2eTest : public ::testing::Test {
 protected:
  SecurityE2eTest() {
    fs::create_directories(temp_ / "fs1/src");
    fs::create_directories(temp_ / "fs3");
  }

  RunOptions World(const std::string& faults = "[]") {
    std::string text = kWorld;
    Replace(&text, "@TMP@", temp_.path());
    Replace(&text, "@FAULTS@", faults);
    for (const auto& [from, to] : world_edits_)
      Replace(&text, from, to);
    const std::string file = temp_ / "world.json";
    WriteFile(file, text);
    RunOptions options;
    options.environment["TARVIK_WORLD"] = file;
    return options;
  }

  std::string Source(const std::string& name = "") const {
    return temp_ / ("fs1/src" + (name.empty() ? "" : "/" + name));
  }
  std::string Target(const std::string& root, const std::string& name = "") const {
    return temp_ / ("fs3/" + root + (name.empty() ? "" : "/" + name));
  }

  void MakeSourceFile(const std::string& name, const std::string& data,
                      const DescriptorParts& descriptor) {
    fs::create_directories(fs::path(Source(name)).parent_path());
    WriteFile(Source(name), data);
    SetNtAcl(Source(name), descriptor);
  }

  // The program copying \\FS1\data\src into \\FS3\data\<root>.
  RunResult Run(const std::string& root, std::vector<std::string> switches,
                const std::string& faults = "[]") {
    std::vector<std::string> args = {
        "\\\\FS1\\data\\src", "\\\\FS3\\data\\" + root, "/s", "/r:0", "/w:0", "/th:2"};
    args.insert(args.end(), switches.begin(), switches.end());
    return RunProgram(args, World(faults));
  }

  TempDir temp_;
  // Texts of the world replaced before a run.
  std::vector<std::pair<std::string, std::string>> world_edits_;
};

// Every kind of SID the translation meets, in one source DACL.
AceList MixedDacl() {
  return {
      Ace(kDenied, 0, kWrite, Rid(kCorp, 1106)),  // CORP\Sales Team
      Allow(Rid(kFs1, 500)),                      // FS1\Administrator
      Allow(Rid(kFs1, 1001), kRead),              // FS1\svc_backup
      Allow(Rid(kCorp, 1104)),                    // CORP\alice
      Allow(Rid(kOld, 1300), kRead),              // dave before the migration
      Allow(Rid(kCorp, 512)),                     // CORP\Domain Admins
      Allow(Rid(kCorp, 518), kRead),              // CORP\Schema Admins
      Allow(Rid(kCorp, 519), kRead),              // CORP\Enterprise Admins
      Allow(Rid(kCorp, 1120), kRead),             // CORP\Auditors
      Allow("S-1-5-32-545", kRead),               // BUILTIN\Users
      Allow("S-1-5-32-549", kRead),               // Server Operators
      Allow("S-1-5-32-550", kRead),               // Print Operators
      Allow("S-1-5-32-554", kRead),               // Pre-Windows 2000
      Allow("S-1-5-32-555", kRead),               // Remote Desktop Users
      Allow("S-1-5-32-556", kRead),               // Network Configuration
      Allow("S-1-5-32-557", kRead),               // Incoming Forest Trust
      Allow("S-1-5-32-558", kRead),               // Performance Monitor
      Allow("S-1-5-32-559", kRead),               // Performance Log
      Allow("S-1-5-5-0-999", kFull),              // a logon session
      Allow(kSystem),                             // SYSTEM
      Allow(kEveryone, kRead),                    // Everyone
      Allow(kCreatorOwner, kFull, kObjectAndContainerInherit | kInheritOnly),
      StubAce(),
  };
}

std::string Allowed(const std::string& sid, uint32_t mask = kFull, uint8_t flags = 0) {
  return EntryText(kAllowed, flags, mask, sid);
}

TEST_F(SecurityE2eTest, TranslatesAccountsBetweenServersOfTwoDomains) {
  MakeSourceFile("mixed.txt", "mixed", Descriptor(Rid(kFs1, 1001), Rid(kFs1, 1003), MixedDacl()));
  MakeSourceFile("domain.txt", "domain",
                 Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), {Allow(Rid(kCorp, 1104))}));
  const std::string denied_sales = EntryText(kDenied, 0, kWrite, Rid(kCorp, 1106));
  const std::string kept_well_known[] = {
      Allowed("S-1-5-32-545", kRead), Allowed(kSystem), Allowed(kEveryone, kRead),
      Allowed(kCreatorOwner, kFull, kObjectAndContainerInherit | kInheritOnly)};
  const std::string stub = "168 (12 bytes)";

  // Between members of two domains: the source's local Administrator
  // becomes the target's, a local account nobody else knows stays, domain
  // accounts stay, a historical SID becomes the account that carries it now;
  // local owner and group give way to the connected account and its group.
  {
    RunResult result = Run("dst", {"/o"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFile(Target("dst", "mixed.txt")), "mixed");
    Observed mixed = Observe(Target("dst", "mixed.txt"));
    EXPECT_EQ(mixed.owner, Rid(kNewCorp, 2202));  // NEWCORP\migrator
    EXPECT_EQ(mixed.group, Rid(kNewCorp, 2210));  // Movers, migrator's primary group
    EXPECT_EQ(mixed.dacl, (std::vector<std::string>{
                              denied_sales,
                              Allowed(Rid(kFs3, 500)),
                              Allowed(Rid(kFs1, 1001), kRead),
                              Allowed(Rid(kCorp, 1104)),
                              Allowed(Rid(kNewCorp, 2205), kRead),
                              Allowed(Rid(kCorp, 512)),
                              Allowed(Rid(kCorp, 518), kRead),
                              Allowed(Rid(kCorp, 519), kRead),
                              Allowed(Rid(kCorp, 1120), kRead),
                              kept_well_known[0],
                              kept_well_known[1],
                              kept_well_known[2],
                              kept_well_known[3],
                              stub,
                          }));
    Observed domain = Observe(Target("dst", "domain.txt"));
    EXPECT_EQ(domain.owner, Rid(kCorp, 1104));
    EXPECT_EQ(domain.group, Rid(kCorp, 513));
    EXPECT_EQ(domain.dacl, (std::vector<std::string>{Allowed(Rid(kCorp, 1104))}));
    EXPECT_EQ(Count(result.out, "STUBRA"), 0u);
    EXPECT_EQ(Count(result.out, "File(s) copied                            : 2\n"), 1u);
  }

  // /i drops the unmatched local account, /preserveSIDh keeps the historical
  // SID, /ignorestubra drops the stub marker and says so.
  {
    RunResult result = Run("dst2", {"/o", "/i", "/preserveSIDh", "/ignorestubra"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    Observed mixed = Observe(Target("dst2", "mixed.txt"));
    EXPECT_EQ(mixed.owner, Rid(kNewCorp, 2202));
    EXPECT_EQ(mixed.group, Rid(kNewCorp, 2210));
    EXPECT_EQ(mixed.dacl, (std::vector<std::string>{
                              denied_sales,
                              Allowed(Rid(kFs3, 500)),
                              Allowed(Rid(kCorp, 1104)),
                              Allowed(Rid(kOld, 1300), kRead),
                              Allowed(Rid(kCorp, 512)),
                              Allowed(Rid(kCorp, 518), kRead),
                              Allowed(Rid(kCorp, 519), kRead),
                              Allowed(Rid(kCorp, 1120), kRead),
                              kept_well_known[0],
                              kept_well_known[1],
                              kept_well_known[2],
                              kept_well_known[3],
                          }));
    EXPECT_EQ(
        Count(result.out,
              "\\\\FS3\\data\\dst2\\mixed.txt -> STUBRA Stub file, file content not guaranty"),
        1u)
        << result.out;
  }

  // Into the new domain NEWDOM: well-known RIDs move there (Schema Admins
  // excepted), the rest is found by name or dropped; a name the new domain
  // lacks is asked for, and reported, once however many entries carry it.
  {
    MakeSourceFile("sales.txt", "sales",
                   Descriptor(Rid(kCorp, 1104), "",
                              {Ace(kDenied, 0, kWrite, Rid(kCorp, 1106)),
                               Allow(Rid(kCorp, 1106), kRead), Allow(Rid(kCorp, 1104))}));
    RunResult result = Run("dst3", {"/o", "/nd:NEWDOM"});
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(Count(result.out, "Lookup account name \"NEWDOM\\Sales Team\""), 1u) << result.out;
    EXPECT_EQ(Observe(Target("dst3", "sales.txt")).dacl,
              (std::vector<std::string>{Allowed(Rid(kNewDom, 3104))}));
    Observed mixed = Observe(Target("dst3", "mixed.txt"));
    EXPECT_EQ(mixed.owner, Rid(kNewCorp, 2202));
    EXPECT_EQ(mixed.group, Rid(kNewCorp, 2210));
    EXPECT_EQ(mixed.dacl, (std::vector<std::string>{
                              Allowed(Rid(kNewDom, 500)),
                              Allowed(Rid(kNewDom, 3104)),
                              Allowed(Rid(kNewDom, 512)),
                              Allowed(Rid(kNewDom, 519), kRead),
                              kept_well_known[0],
                              kept_well_known[1],
                              kept_well_known[2],
                              kept_well_known[3],
                              stub,
                          }));
    Observed domain = Observe(Target("dst3", "domain.txt"));
    EXPECT_EQ(domain.owner, Rid(kNewDom, 3104));
    EXPECT_EQ(domain.group, Rid(kNewDom, 513));
    EXPECT_EQ(domain.dacl, (std::vector<std::string>{Allowed(Rid(kNewDom, 3104))}));
  }

  // A new domain that cannot be reached stops the run before anything is
  // copied.
  {
    RunResult result = Run("dst4", {"/o", "/nd:NOWHERE"});
    EXPECT_EQ(result.exitCode, 8) << result.out;
    EXPECT_EQ(Count(result.out, "Unable to retrieve the PDC of the new Domain NOWHERE"), 1u)
        << result.out;
    EXPECT_EQ(Count(result.out, "Unable to initialize the Security Descriptor translator"), 1u);
    EXPECT_FALSE(fs::exists(Target("dst4", "mixed.txt")));
  }
}

class SecurityFixTest : public SecurityE2eTest {
 protected:
  // Two files copied once, so that a run with /d finds them at the same
  // date and only looks at their security.
  void CopyOnce() {
    MakeSourceFile("f.txt", "f", Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), SourceDacl()));
    MakeSourceFile("g.txt", "g", Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), SourceDacl()));
    RunResult result = Run("dst", {});
    ASSERT_EQ(result.exitCode, 0) << result.out;
    ASSERT_EQ(Observe(Target("dst", "f.txt")).dacl, Entries(SourceDacl()));
  }

  static AceList SourceDacl() { return {Allow(Rid(kCorp, 1104)), Allow(kEveryone, kRead)}; }

  // The same rights as the source, alice's split over two entries, another
  // owner, and an entry for an account the source does not name.
  static DescriptorParts EquivalentTarget() {
    return Descriptor(Rid(kNewCorp, 2202), Rid(kCorp, 513),
                      {Allow(Rid(kCorp, 1104), kRead), Allow(Rid(kCorp, 1104), 0x0D0156),
                       Allow(kEveryone, kRead), Allow(Rid(kCorp, 1106), kRead)});
  }

  // Everyone's entry is missing.
  static DescriptorParts DifferentTarget() {
    return Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513),
                      {Allow(Rid(kCorp, 1106), kRead), Allow(Rid(kCorp, 1104), kRead)});
  }
};

TEST_F(SecurityFixTest, FixForceAndMergeExistingTargets) {
  CopyOnce();
  const std::string f = Target("dst", "f.txt");
  const std::string g = Target("dst", "g.txt");
  SetNtAcl(f, EquivalentTarget());
  SetNtAcl(g, DifferentTarget());
  const std::string equivalent_bytes = RawNtAcl(f);
  const std::string different_bytes = RawNtAcl(g);

  // /secfix /l: g differs and is counted, nothing is written or reported.
  RunResult result = Run("dst", {"/secfix", "/d", "/l"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(RawNtAcl(f), equivalent_bytes);
  EXPECT_EQ(RawNtAcl(g), different_bytes);
  EXPECT_EQ(Count(result.out, "Security fixed"), 0u) << result.out;
  EXPECT_EQ(Count(result.out, Statistic("Security Descriptor Setting(s) done:", 1)), 1u)
      << result.out;

  // /secfix: f holds the same rights (split entries, an extra entry, another
  // owner without /o) and is left alone; g is fixed.
  result = Run("dst", {"/secfix", "/d"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(RawNtAcl(f), equivalent_bytes);
  EXPECT_EQ(Observe(g).dacl, Entries(SourceDacl()));
  EXPECT_EQ(Count(result.out, "Security fixed"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\dst\\g.txt -> Security fixed\n"), 1u);
  EXPECT_EQ(Count(result.out, Statistic("Security Descriptor Setting(s) done:", 1)), 1u);

  // /secforce compares exactly: f is rewritten as the source has it.
  result = Run("dst", {"/secforce", "/d"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Observe(f).dacl, Entries(SourceDacl()));
  EXPECT_EQ(Count(result.out, "Security fixed"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\dst\\f.txt -> Security fixed\n"), 1u);
  EXPECT_EQ(ReadFile(f), "f");

  // /secmerge keeps the target's own entry, before the translated ones.
  SetNtAcl(f, DifferentTarget());
  result = Run("dst", {"/secmerge", "/d"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Observe(f).dacl,
            (std::vector<std::string>{Allowed(Rid(kCorp, 1106), kRead), Allowed(Rid(kCorp, 1104)),
                                      Allowed(kEveryone, kRead)}));
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\dst\\f.txt -> Security fixed\n"), 1u) << result.out;

  // With /o the owner counts: the equivalent target is fixed for it.
  SetNtAcl(f, EquivalentTarget());
  result = Run("dst", {"/secfix", "/d", "/o"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  Observed fixed = Observe(f);
  EXPECT_EQ(fixed.owner, Rid(kCorp, 1104));
  EXPECT_EQ(fixed.dacl, Entries(SourceDacl()));
  EXPECT_EQ(Count(result.out, "Security fixed"), 1u) << result.out;
}

TEST_F(SecurityFixTest, QuietHidesFixesButNotFailures) {
  CopyOnce();
  const std::string f = Target("dst", "f.txt");
  const std::string g = Target("dst", "g.txt");
  SetNtAcl(f, DifferentTarget());
  SetNtAcl(g, DifferentTarget());
  const std::string different_bytes = RawNtAcl(g);
  const std::string fault = R"([{"call": "SetKernelObjectSecurity", "path": "*\\dst\\g.txt",
                                 "error": "ERROR_ACCESS_DENIED", "count": 0}])";
  RunResult result = Run("dst", {"/secforce", "/d", "/q"}, fault);
  // g's descriptor was not applied: bit 2.
  EXPECT_EQ(result.exitCode, 2) << result.out;
  EXPECT_EQ(Observe(f).dacl, Entries(SourceDacl()));
  EXPECT_EQ(RawNtAcl(g), different_bytes);
  EXPECT_EQ(Count(result.out, "Security fixed"), 0u) << result.out;
  EXPECT_EQ(Count(result.out, "ERROR (5) : \\\\FS3\\data\\dst\\g.txt -> Unable to set SD\n"), 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, Statistic("Security Descriptor Setting(s) done:", 1)), 1u);
  EXPECT_EQ(Count(result.out, Statistic("Security Descriptor Setting(s) failed", 1, true)), 1u);
}

class BackupTest : public SecurityE2eTest {
 protected:
  // A live tree whose every object has a descriptor with an owner and a SACL.
  void MakeLiveTree() {
    SetNtAcl(Source(), Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513),
                                  {Allow(Rid(kCorp, 1104), kFull, kObjectAndContainerInherit)}));
    MakeSourceFile("a.txt", "live data", Original());
    MakeSourceFile("sub/b.txt", "more data", Original());
    SetNtAcl(Source("sub"), Original());
  }

  RunResult Backup() {
    return RunProgram(
        {"\\\\FS1\\data\\src", "\\\\FS3\\data\\bak", "/s", "/r:0", "/w:0", "/th:2", "/backupSD"},
        World());
  }

  static AceList Audit() { return {Ace(kAudit, kFailedAccess, kFull, kEveryone)}; }
  static DescriptorParts Original() {
    return Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), {Allow(Rid(kCorp, 1104))}, Audit());
  }
};

TEST_F(BackupTest, BackupAndRestoreOfDescriptors) {
  MakeLiveTree();
  // The backup: empty files carrying the descriptors, owner and SACL
  // included.
  RunResult result = Backup();
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Count(result.out,
                  "Processing the backup of security from \\\\FS1\\data\\src\\ to "
                  "\\\\FS3\\data\\bak\\ ..."),
            1u)
      << result.out;
  for (const char* name : {"a.txt", "sub/b.txt", "sub"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(Target("bak", name)));
    if (!fs::is_directory(Target("bak", name))) {
      EXPECT_EQ(fs::file_size(Target("bak", name)), 0u);
    }
    Observed copy = Observe(Target("bak", name));
    EXPECT_EQ(copy.owner, Rid(kCorp, 1104));
    EXPECT_EQ(copy.group, Rid(kCorp, 513));
    EXPECT_EQ(copy.dacl, (std::vector<std::string>{Allowed(Rid(kCorp, 1104))}));
    EXPECT_EQ(copy.sacl, Entries(Audit()));
  }
  EXPECT_EQ(
      Observe(Target("bak")).dacl,
      (std::vector<std::string>{Allowed(Rid(kCorp, 1104), kFull, kObjectAndContainerInherit)}));
  EXPECT_EQ(Count(result.out, Statistic("Number of file(s) found", 2)), 1u) << result.out;
  EXPECT_EQ(Count(result.out, Statistic("Number of directory(ies) found", 2)), 1u);
  EXPECT_EQ(Count(result.out, Statistic("Number of Security Descriptor(s) backuped", 4)), 1u);

  // A second backup finds every descriptor saved already.
  result = Backup();
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Count(result.out, "Number of Security Descriptor(s) backuped"), 0u) << result.out;

  // The live descriptors change; the restore puts the saved ones back
  // without touching the data, and creates nothing that is only in the
  // backup.
  SetNtAcl(Source("a.txt"),
           Descriptor(Rid(kCorp, 1106), Rid(kCorp, 513), {Allow(kEveryone)}, AceList{}));
  WriteFile(Target("bak", "only_in_backup.txt"), "");
  result = RunProgram(
      {"\\\\FS3\\data\\bak", "\\\\FS1\\data\\src", "/s", "/r:0", "/w:0", "/th:2", "/restoreSD"},
      World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Count(result.out,
                  "Processing the restore of security from \\\\FS3\\data\\bak\\ to "
                  "\\\\FS1\\data\\src\\ ..."),
            1u)
      << result.out;
  Observed restored = Observe(Source("a.txt"));
  EXPECT_EQ(restored.owner, Rid(kCorp, 1104));
  EXPECT_EQ(restored.dacl, (std::vector<std::string>{Allowed(Rid(kCorp, 1104))}));
  EXPECT_EQ(restored.sacl, Entries(Audit()));
  EXPECT_EQ(ReadFile(Source("a.txt")), "live data");
  EXPECT_EQ(ReadFile(Source("sub/b.txt")), "more data");
  EXPECT_FALSE(fs::exists(Source("only_in_backup.txt")));
  EXPECT_EQ(Count(result.out, Statistic("Number of Security Descriptor(s) checked", 4)), 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, Statistic("Number of Security Descriptor(s) restored", 1)), 1u);
}

TEST_F(BackupTest, BackupPurgesWhatTheSourceNoLongerHas) {
  MakeLiveTree();
  fs::create_directories(Target("bak/gone"));
  WriteFile(Target("bak", "stale.txt"), "no longer in the source");
  WriteFile(Target("bak", "gone/old.txt"), "");
  RunResult result = Backup();
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_TRUE(fs::exists(Target("bak", "a.txt")));
  EXPECT_FALSE(fs::exists(Target("bak", "stale.txt")));
  EXPECT_FALSE(fs::exists(Target("bak", "gone")));
}

TEST_F(SecurityE2eTest, SdSkipsTheDataOfFilesWhoseSecurityFailed) {
  const DescriptorParts descriptor =
      Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), {Allow(Rid(kCorp, 1104))});
  MakeSourceFile("bad.txt", "payload", descriptor);
  MakeSourceFile("locked.txt", "locked payload", descriptor);
  MakeSourceFile("good.txt", "fine", descriptor);
  MakeSourceFile("sub/inner.txt", "inner", descriptor);
  // The descriptors of bad.txt and of the directory sub cannot be set;
  // locked.txt cannot be created with its descriptor (the data copy later
  // opens it again).
  const std::string faults = R"([
      {"call": "SetKernelObjectSecurity", "path": "*\\dst*\\bad.txt",
       "error": "ERROR_ACCESS_DENIED", "count": 0},
      {"call": "SetKernelObjectSecurity", "path": "*\\dst*\\sub",
       "error": "ERROR_ACCESS_DENIED", "count": 0},
      {"call": "CreateFileW", "path": "*\\dst*\\locked.txt",
       "error": "ERROR_SHARING_VIOLATION", "count": 1}])";

  RunResult result = Run("dst", {"/sd"}, faults);
  EXPECT_EQ(result.exitCode, 2) << result.out;
  EXPECT_EQ(ReadFile(Target("dst", "good.txt")), "fine");
  EXPECT_EQ(Observe(Target("dst", "good.txt")).dacl,
            (std::vector<std::string>{Allowed(Rid(kCorp, 1104))}));
  // The directory is there all the same, and what it holds is copied.
  EXPECT_EQ(ReadFile(Target("dst", "sub/inner.txt")), "inner");
  for (const char* name : {"bad.txt", "locked.txt"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(Target("dst", name)));
    EXPECT_EQ(fs::file_size(Target("dst", name)), 0u);
    EXPECT_EQ(Count(result.out, "skipping the copy of file content (/sd) to \\\\FS3\\data\\dst\\" +
                                    std::string(name) + "\n"),
              1u)
        << result.out;
  }
  EXPECT_EQ(Count(result.out, "ERROR (5) : \\\\FS3\\data\\dst\\bad.txt -> Unable to set SD\n"), 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, "ERROR (5) : \\\\FS3\\data\\dst\\sub -> Unable to set SD\n"), 1u);
  EXPECT_EQ(Count(result.out, Statistic("Skipped copy(ies) of file content", 2, true)), 1u);
  EXPECT_EQ(Count(result.out, Statistic("Security Descriptor Setting(s) failed", 3, true)), 1u);

  // Without /sd the data is copied anyway; the run still reports bit 2.
  result = Run("dst2", {}, faults);
  EXPECT_EQ(result.exitCode, 2) << result.out;
  EXPECT_EQ(ReadFile(Target("dst2", "bad.txt")), "payload");
  EXPECT_EQ(ReadFile(Target("dst2", "locked.txt")), "locked payload");
  EXPECT_EQ(Count(result.out, "skipping the copy"), 0u);
}

TEST_F(SecurityE2eTest, TransientSecurityFailuresAreRetried) {
  const DescriptorParts descriptor =
      Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), {Allow(Rid(kCorp, 1104))});
  MakeSourceFile("net.txt", "net", descriptor);
  MakeSourceFile("late.txt", "late", descriptor);
  MakeSourceFile("never.txt", "never", descriptor);
  // A lost connection is retried; a target not found is waited for once,
  // then retried; one that never appears fails after the retries.
  const std::string faults = R"([
      {"call": "SetKernelObjectSecurity", "path": "*\\dst\\net.txt",
       "error": "ERROR_NETNAME_DELETED", "count": 1},
      {"call": "SetKernelObjectSecurity", "path": "*\\dst\\late.txt",
       "error": "ERROR_FILE_NOT_FOUND", "count": 2},
      {"call": "SetKernelObjectSecurity", "path": "*\\dst\\never.txt",
       "error": "ERROR_FILE_NOT_FOUND", "count": 0}])";
  RunResult result = RunProgram(
      {"\\\\FS1\\data\\src", "\\\\FS3\\data\\dst", "/s", "/r:1", "/w:0", "/th:2", "/c", "/sd"},
      World(faults));
  EXPECT_EQ(result.exitCode, 2) << result.out;
  for (const char* name : {"net.txt", "late.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Observe(Target("dst", name)).dacl,
              (std::vector<std::string>{Allowed(Rid(kCorp, 1104))}));
    EXPECT_EQ(ReadFile(Target("dst", name)), ReadFile(Source(name)));
  }
  EXPECT_EQ(ReadFile(Target("dst", "never.txt")), "");
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\dst\\never.txt -> SD not set"), 2u) << result.out;
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\dst\\late.txt -> SD not set"), 1u);
  EXPECT_EQ(Count(result.out, Statistic("Security Descriptor Setting(s) failed", 1, true)), 1u);
}

// Capability SIDs have ten sub-authorities and are common on profile and
// home shares: their entries are carried like any other, and /secfix puts
// back one that a target lost.
TEST_F(SecurityE2eTest, CapabilitySidsAreCarried) {
  const std::string capability =
      "S-1-15-3-1024-1065365936-1281604716-3511738428-1654721687-432734479-3232135806-"
      "4053264122-3456934681";
  const AceList dacl = {Allow(Rid(kCorp, 1104)), Allow(capability, kRead)};
  MakeSourceFile("profile.txt", "profile", Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), dacl));
  RunResult result = Run("dst", {"/o"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  const std::string target = Target("dst", "profile.txt");
  EXPECT_EQ(Observe(target).dacl, Entries(dacl));

  SetNtAcl(target, Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), {Allow(Rid(kCorp, 1104))}));
  result = Run("dst", {"/secfix", "/d"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Observe(target).dacl, Entries(dacl));
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\dst\\profile.txt -> Security fixed\n"), 1u)
      << result.out;
}

// A descriptor whose DACL cannot be translated (an entry's SID is damaged)
// fails the object's security step: reported, counted, bit 2. Nothing of it
// is written: a new target is not given the owner without the DACL, an
// existing one keeps its descriptor.
TEST_F(SecurityE2eTest, ADescriptorThatCannotBeTranslatedIsNotWritten) {
  AceBytes damaged = Allow(kEveryone, kRead);
  damaged[8] = 7;  // the SID's revision
  MakeSourceFile("damaged.txt", "payload",
                 Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513), {Allow(Rid(kCorp, 1104)), damaged}));
  const std::string error =
      "ERROR (1338) : \\\\FS3\\data\\dst\\damaged.txt -> Unable to fix security\n";
  RunResult result = Run("dst", {"/o"});
  EXPECT_EQ(result.exitCode, 2) << result.out;
  EXPECT_EQ(Count(result.out, error), 1u) << result.out;
  EXPECT_EQ(Count(result.out, Statistic("Security Descriptor Setting(s) failed", 1, true)), 1u);
  const std::string target = Target("dst", "damaged.txt");
  EXPECT_EQ(ReadFile(target), "payload");
  // Only what the new file inherited from its directory.
  for (const std::string& entry : Observe(target).dacl)
    EXPECT_EQ(entry.substr(0, 7), "0 0x10 ") << entry;

  SetNtAcl(target, Descriptor(Rid(kNewCorp, 2202), Rid(kCorp, 513), {Allow(Rid(kCorp, 1106))}));
  const std::string existing = RawNtAcl(target);
  result = Run("dst", {"/secforce", "/d", "/o"});
  EXPECT_EQ(result.exitCode, 2) << result.out;
  EXPECT_EQ(RawNtAcl(target), existing);
  EXPECT_EQ(Count(result.out, error), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "Security fixed"), 0u);
}

// Samba's python bindings, where installed: the interpreter that imports them.
std::string SambaPython() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    std::string command = std::string(python) + " -c 'import samba.dcerpc.xattr' 2>/dev/null";
    if (std::system(command.c_str()) == 0)
      return python;
  }
  return "";
}

// Each file's descriptor as Samba decodes it: "<path> <version> <SDDL>".
std::string SambaView(const std::string& python, const std::vector<std::string>& paths) {
  std::string script =
      "import os\n"
      "from samba.ndr import ndr_unpack\n"
      "from samba.dcerpc import xattr\n"
      "for p in [";
  for (const std::string& path : paths)
    script += "\"" + path + "\",";
  script +=
      "]:\n"
      "  v = None\n"
      "  for name in (\"security.NTACL\", \"user.NTACL\"):\n"
      "    try:\n"
      "      v = os.getxattr(p, name)\n"
      "      break\n"
      "    except OSError:\n"
      "      pass\n"
      "  n = ndr_unpack(xattr.NTACL, v)\n"
      "  print(os.path.basename(p), n.version, n.info.as_sddl())\n";
  const std::string command = python + " -c '" + script + "' 2>&1";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  char chunk[512];
  while (pipe != nullptr && std::fgets(chunk, sizeof chunk, pipe) != nullptr)
    output += chunk;
  if (pipe != nullptr)
    ::pclose(pipe);
  return output;
}

TEST_F(SecurityE2eTest, SambaDecodesTheCopiedDescriptors) {
  const std::string python = SambaPython();
  if (python.empty())
    GTEST_SKIP() << "python3-samba is not installed";
  SetNtAcl(Source(), Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513),
                                {Allow(Rid(kCorp, 1104), kFull, kObjectAndContainerInherit),
                                 Allow(kEveryone, kRead)},
                                std::nullopt, SE_DACL_PROTECTED));
  MakeSourceFile("a.txt", "a",
                 Descriptor(Rid(kFs1, 1001), Rid(kCorp, 513),
                            {Allow(Rid(kFs1, 500)), Allow(Rid(kOld, 1300), kRead),
                             Allow("S-1-5-32-550", kRead), Allow(kSystem)},
                            AceList{Ace(kAudit, kFailedAccess, kFull, kEveryone)}));
  MakeSourceFile("sub/b.txt", "b",
                 Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513),
                            {Ace(kDenied, 0, kWrite, Rid(kCorp, 1106)), Allow(kEveryone, kRead)}));
  SetNtAcl(Source("sub"),
           Descriptor(Rid(kCorp, 1104), Rid(kCorp, 513),
                      {Allow(kCreatorOwner, kFull, kObjectAndContainerInherit | kInheritOnly)}));
  RunResult result = Run("dst", {"/o", "/a"});
  ASSERT_EQ(result.exitCode, 0) << result.out;

  const std::string view = SambaView(python, {Target("dst"), Target("dst", "a.txt"),
                                              Target("dst", "sub"), Target("dst", "sub/b.txt")});
  const std::string alice = Rid(kCorp, 1104);
  EXPECT_EQ(view, "dst 1 O:" + alice + "G:" + Rid(kCorp, 513) + "D:P(A;OICI;0x001f01ff;;;" + alice +
                      ")(A;;0x001200a9;;;WD)\n"
                      "a.txt 1 O:" +
                      Rid(kNewCorp, 2202) + "G:" + Rid(kCorp, 513) + "D:(A;;0x001f01ff;;;" +
                      Rid(kFs3, 500) + ")(A;;0x001200a9;;;" + Rid(kNewCorp, 2205) +
                      ")(A;;0x001f01ff;;;SY)S:(AU;FA;0x001f01ff;;;WD)\n"
                      "sub 1 O:" +
                      alice + "G:" + Rid(kCorp, 513) +
                      "D:(A;OICIIO;0x001f01ff;;;CO)\n"
                      "b.txt 1 O:" +
                      alice + "G:" + Rid(kCorp, 513) + "D:(D;;0x00100116;;;" + Rid(kCorp, 1106) +
                      ")(A;;0x001200a9;;;WD)\n");
}

// With /lu and /lg, the source's local accounts become the target's
// accounts of the same name (or of the name the duplication gave them,
// prefixed with the source server's name) in owner, group, DACL and SACL.
TEST_F(SecurityE2eTest, LocalAccountsAreMatchedByNameWithLuAndLg) {
  // FS1's svc_backup (1001), Sales (1003) and Editors (1004) are FS3's
  // svc_backup (1010), Sales (1012) and FS1_Editors (1020).
  MakeSourceFile("local.txt", "local",
                 Descriptor(Rid(kFs1, 1001), Rid(kFs1, 1003),
                            {Allow(Rid(kFs1, 1003), kRead), Allow(Rid(kFs1, 1001)),
                             Allow(Rid(kFs1, 1004), kWrite), Allow(Rid(kFs1, 500))},
                            AceList{Ace(kAudit, kFailedAccess, kFull, Rid(kFs1, 1004))}));
  RunResult result = Run("dst", {"/o", "/a", "/lu", "/lg", "/i"});
  ASSERT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(Target("dst", "local.txt")), "local");
  Observed local = Observe(Target("dst", "local.txt"));
  EXPECT_EQ(local.owner, Rid(kFs3, 1010));
  EXPECT_EQ(local.group, Rid(kFs3, 1012));
  EXPECT_EQ(local.dacl,
            (std::vector<std::string>{Allowed(Rid(kFs3, 1012), kRead), Allowed(Rid(kFs3, 1010)),
                                      Allowed(Rid(kFs3, 1020), kWrite), Allowed(Rid(kFs3, 500))}));
  EXPECT_EQ(local.sacl,
            (std::vector<std::string>{EntryText(kAudit, kFailedAccess, kFull, Rid(kFs3, 1020))}));
  const std::string python = SambaPython();
  if (!python.empty()) {
    EXPECT_EQ(SambaView(python, {Target("dst", "local.txt")}),
              "local.txt 1 O:" + Rid(kFs3, 1010) + "G:" + Rid(kFs3, 1012) + "D:(A;;0x001200a9;;;" +
                  Rid(kFs3, 1012) + ")(A;;0x001f01ff;;;" + Rid(kFs3, 1010) + ")(A;;0x00100116;;;" +
                  Rid(kFs3, 1020) + ")(A;;0x001f01ff;;;" + Rid(kFs3, 500) +
                  ")S:(AU;FA;0x001f01ff;;;" + Rid(kFs3, 1020) + ")\n");
  }

  // A source account the target lacks stops the run before anything is
  // copied, with the account named and the advice.
  world_edits_ = {
      {R"({"name": "svc_backup", "rid": 1010})", R"({"name": "svc_other", "rid": 1010})"}};
  result = Run("dst2", {"/o", "/a", "/lu", "/lg"});
  EXPECT_EQ(result.exitCode, 8) << result.out;
  for (const char* line : {
           "The local user \"svc_backup\" and \"FS1_svc_backup\" do not exist on the \\\\FS3 "
           "server !",
           "Please use acctclone utility to duplicate the missing local user(s) or group(s) from "
           "\\\\FS1 to \\\\FS3.",
           "Unable to initialize the Security Descriptor translator",
       }) {
    EXPECT_EQ(Count(result.out, line), 1u) << line << "\n" << result.out;
  }
  EXPECT_FALSE(fs::exists(Target("dst2", "local.txt")));
}

// With /hda, every object gets what it would inherit inside the home
// directory, with the account as creator and owner; the source's security
// plays no part.
TEST_F(SecurityE2eTest, HomeDirectoryModeDerivesSecurityFromTheTarget) {
  const std::string dave = Rid(kNewCorp, 2205);
  const std::string admins = "S-1-5-32-544";
  fs::create_directories(temp_ / "fs3/homes");
  SetNtAcl(
      temp_ / "fs3/homes",
      Descriptor(admins, Rid(kNewCorp, 2210),
                 {Allow(kCreatorOwner, kFull, kObjectAndContainerInherit | kInheritOnly),
                  Allow(admins, kFull, 0x2), Allow(kSystem),
                  Allow(kEveryone, kRead, kObjectAndContainerInherit)},
                 AceList{Ace(kAudit, kFailedAccess | kObjectAndContainerInherit, kFull, kEveryone)},
                 SE_DACL_PROTECTED));
  MakeSourceFile("a.txt", "a", Descriptor(Rid(kCorp, 1104), "", {Allow(Rid(kCorp, 1104))}));
  MakeSourceFile("sub/b.txt", "b", Descriptor(Rid(kCorp, 1104), "", {Allow(kEveryone)}));

  // The home directory does not exist yet: its parent is the template.
  RunResult result = Run("homes\\dave", {"/hda:NEWCORP\\dave"});
  ASSERT_EQ(result.exitCode, 0) << result.out;
  const Observed sub = Observe(Target("homes/dave", "sub"));
  EXPECT_EQ(sub.owner, dave);
  EXPECT_EQ(sub.group, Rid(kNewCorp, 2210));
  EXPECT_EQ(sub.dacl, (std::vector<std::string>{
                          Allowed(kCreatorOwner, kFull, 0x1B), Allowed(dave, kFull, 0x10),
                          Allowed(admins, kFull, 0x12), Allowed(kEveryone, kRead, 0x13)}));
  EXPECT_EQ(sub.sacl, (std::vector<std::string>{EntryText(kAudit, 0x93, kFull, kEveryone)}));
  for (const char* file : {"a.txt", "sub/b.txt"}) {
    const Observed observed = Observe(Target("homes/dave", file));
    EXPECT_EQ(observed.owner, dave) << file;
    EXPECT_EQ(observed.dacl, (std::vector<std::string>{Allowed(dave, kFull, 0x10),
                                                       Allowed(kEveryone, kRead, 0x10)}))
        << file;
    EXPECT_EQ(observed.sacl, (std::vector<std::string>{EntryText(kAudit, 0x90, kFull, kEveryone)}))
        << file;
  }
  EXPECT_EQ(ReadFile(Target("homes/dave", "sub/b.txt")), "b");
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\homes\\dave\\a.txt -> Security Propagated"), 1u)
      << result.out;
  const std::string python = SambaPython();
  if (!python.empty()) {
    EXPECT_EQ(SambaView(python, {Target("homes/dave", "a.txt")}),
              "a.txt 1 O:" + dave + "G:" + Rid(kNewCorp, 2210) + "D:AI(A;ID;0x001f01ff;;;" + dave +
                  ")(A;ID;0x001200a9;;;WD)S:AI(AU;IDFA;0x001f01ff;;;WD)\n");
  }

  // A second run finds everything as it should be and writes nothing; a
  // changed descriptor is put right.
  SetNtAcl(Target("homes/dave", "sub"), Descriptor(admins, "", {Allow(kEveryone)}));
  result = Run("homes\\dave", {"/hda:NEWCORP\\dave"});
  EXPECT_LT(result.exitCode, 8) << result.out;
  EXPECT_EQ(Count(result.out, "-> Security Propagated"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "\\\\FS3\\data\\homes\\dave\\sub\\ -> Security Propagated"), 1u)
      << result.out;
  EXPECT_EQ(Observe(Target("homes/dave", "sub")).dacl, sub.dacl);

  // A home directory the account owns is its own template.
  fs::create_directories(Target("homes/own"));
  SetNtAcl(Target("homes/own"),
           Descriptor(dave, "", {Allow(Rid(kNewCorp, 2210), kRead, kObjectAndContainerInherit)}));
  result = Run("homes\\own", {"/hda:NEWCORP\\dave"});
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Observe(Target("homes/own", "a.txt")).dacl,
            (std::vector<std::string>{Allowed(Rid(kNewCorp, 2210), kRead, 0x10)}));

  // A template whose descriptor cannot be read stops the run.
  result = Run("homes\\locked", {"/hda:NEWCORP\\dave"},
               R"([{"call": "GetKernelObjectSecurity", "path": "\\\\FS3\\data\\homes",
                    "error": 5}])");
  EXPECT_EQ(result.exitCode, 8) << result.out;
  EXPECT_EQ(Count(result.out, "Unable to get the security descriptor of \\\\FS3\\data\\homes"), 1u)
      << result.out;

  // So does a home directory that cannot be looked at (after the root
  // set-up looked at it once).
  result = Run("homes\\locked", {"/hda:NEWCORP\\dave"},
               R"([{"call": "FindFirstFileW", "path": "\\\\FS3\\data\\homes\\locked",
                    "error": 5, "after": 1}])");
  EXPECT_EQ(result.exitCode, 8) << result.out;
  EXPECT_EQ(Count(result.out, "Unexpected error 5 when accessing \\\\FS3\\data\\homes\\locked"), 1u)
      << result.out;

  // An account the target cannot name stops the run before anything is copied.
  result = Run("homes\\nobody", {"/hda:NEWCORP\\nobody"});
  EXPECT_EQ(result.exitCode, 8) << result.out;
  EXPECT_EQ(Count(result.out, "Lookup account name \"NEWCORP\\nobody\" from \\\\FS3 failed"), 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, "Unable to initialize the Security Descriptor translator"), 1u)
      << result.out;
  EXPECT_FALSE(fs::exists(Target("homes/nobody", "a.txt")));
}

}  // namespace
}  // namespace tarvik
