// The world the translation tests run in. FS1, a member server of CORP, runs
// the program; FS2 is another CORP member with its own local accounts; DC1,
// DC2 and DC3 control CORP, NEWCORP and NEWDOM, which all trust each other;
// ISLAND has no controller; GONE does not answer.
//
// NEWCORP took over the accounts of OLD (S-1-5-21-6-6-6), a domain that no
// longer exists: its Administrator, dave and erin carry their OLD SIDs in
// their SID history. carol carries a CORP SID although CORP still exists.
#ifndef TARVIK_TESTS_TRANSLATE_TRANSLATE_WORLD_H_
#define TARVIK_TESTS_TRANSLATE_TRANSLATE_WORLD_H_

#include <optional>
#include <string>
#include <vector>

#include "common/sd/sid_string.h"
#include "common/sid.h"

namespace tarvik {

constexpr const wchar_t* kCorp = L"S-1-5-21-3623811015-3361044348-30300820";
constexpr const wchar_t* kNewCorp = L"S-1-5-21-2340681723-1396251106-1876254395";
constexpr const wchar_t* kNewDom = L"S-1-5-21-8-8-8";
constexpr const wchar_t* kOld = L"S-1-5-21-6-6-6";
constexpr const wchar_t* kIsland = L"S-1-5-21-5-5-5";
constexpr const wchar_t* kFs1 = L"S-1-5-21-1004336348-1177238915-682003330";
constexpr const wchar_t* kFs2 = L"S-1-5-21-2-2-2";

inline std::string TranslateWorld() {
  return R"({
  "computer": "FS1",
  "domain": "CORP",
  "drives": {"C:": {"path": "fs1/c"}},
  "servers": [
    {"name": "FS1", "sid": "S-1-5-21-1004336348-1177238915-682003330", "role": "member",
     "domain": "CORP",
     "local_users": [{"name": "svc_backup", "rid": 1001}],
     "local_groups": [{"name": "Sales", "rid": 1003}]},
    {"name": "FS2", "sid": "S-1-5-21-2-2-2", "role": "member", "domain": "CORP",
     "shares": [{"name": "projects", "path": "fs2/projects", "dfs": true},
                {"name": "plain", "path": "fs2/plain"}],
     "local_users": [{"name": "svc_backup", "rid": 1010}],
     "local_groups": [{"name": "Sales", "rid": 1012}]},
    {"name": "DC1", "role": "domain_controller", "domain": "CORP",
     "shares": [{"name": "corpdata", "path": "dc1/corpdata"}]},
    {"name": "DC2", "role": "domain_controller", "domain": "NEWCORP",
     "connect_as": "NEWCORP\\migrator",
     "shares": [{"name": "public", "path": "dc2/public"}]},
    {"name": "DC3", "role": "domain_controller", "domain": "NEWDOM"},
    {"name": "GONE", "sid": "S-1-5-21-7-7-7", "reachable": false}
  ],
  "domains": [
    {"name": "CORP", "sid": "S-1-5-21-3623811015-3361044348-30300820", "controller": "DC1",
     "accounts": [
       {"name": "alice", "rid": 1104},
       {"name": "Sales Team", "rid": 1106, "type": "group"},
       {"rid": 1108, "type": "deleted"},
       {"name": "Schema Admins", "rid": 518, "type": "group"},
       {"name": "Enterprise Admins", "rid": 519, "type": "group"},
       {"name": "Auditors", "rid": 1120, "type": "group"}
     ],
     "trusts": [{"domain": "NEWCORP"}, {"domain": "NEWDOM"},
                {"domain": "ISLAND", "direction": "outbound"}]},
    {"name": "NEWCORP", "sid": "S-1-5-21-2340681723-1396251106-1876254395", "controller": "DC2",
     "accounts": [
       {"name": "Administrator", "rid": 500, "sid_history": ["S-1-5-21-6-6-6-500"]},
       {"name": "carol", "rid": 2201,
        "sid_history": ["S-1-5-21-3623811015-3361044348-30300820-1199"]},
       {"name": "migrator", "rid": 2202, "primary_group": 2210},
       {"name": "dave", "rid": 2205, "sid_history": ["S-1-5-21-6-6-6-1300"]},
       {"name": "erin", "rid": 2206, "sid_history": ["S-1-5-21-6-6-6-1301"]},
       {"name": "Movers", "rid": 2210, "type": "group"}
     ]},
    {"name": "NEWDOM", "sid": "S-1-5-21-8-8-8", "controller": "DC3",
     "accounts": [
       {"name": "alice", "rid": 3104},
       {"name": "carol", "rid": 3201},
       {"name": "Enterprise Admins", "rid": 519, "type": "group"}
     ]},
    {"name": "ISLAND", "sid": "S-1-5-21-5-5-5",
     "accounts": [{"name": "hermit", "rid": 1000}]}
  ],
  "token": {"user": "CORP\\Administrator"}
})";
}

// base followed by "-rid" ("S-1-5-21-1-2-3", 500: "S-1-5-21-1-2-3-500").
inline std::wstring Rid(const wchar_t* base, uint32_t rid) {
  return std::wstring(base) + L"-" + std::to_wstring(rid);
}

inline std::vector<uint8_t> SidBytesOf(const std::wstring& text) {
  std::optional<std::vector<uint8_t>> bytes = ParseSidString(text, 10);
  return bytes ? *bytes : std::vector<uint8_t>{};
}

inline SId SidOf(const std::wstring& text) {
  return SId(SidBytesOf(text));
}

// The placeholder-RID SID of a domain or machine.
inline SId DomainSidOf(const wchar_t* base) {
  return SidOf(Rid(base, kMachineSidPlaceholderRid));
}

}  // namespace tarvik

#endif  // TARVIK_TESTS_TRANSLATE_TRANSLATE_WORLD_H_
