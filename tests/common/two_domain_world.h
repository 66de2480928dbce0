// The world the SID, server and privilege tests run in: FS1, a member server
// of CORP, runs the program; FS2 is another CORP member; DC1 and DC2 control
// CORP and NEWCORP, which trust each other; WS9 is a standalone computer in a
// workgroup; GONE does not answer; ISLAND is a domain nobody trusts.
#ifndef TARVIK_TESTS_COMMON_TWO_DOMAIN_WORLD_H_
#define TARVIK_TESTS_COMMON_TWO_DOMAIN_WORLD_H_

#include <string>

namespace tarvik {

constexpr const wchar_t* kCorpSid = L"S-1-5-21-3623811015-3361044348-30300820";
constexpr const wchar_t* kNewCorpSid = L"S-1-5-21-2340681723-1396251106-1876254395";
constexpr const wchar_t* kFs1Sid = L"S-1-5-21-1004336348-1177238915-682003330";

// The JSON of the world, with the token and the computer replaceable.
inline std::string TwoDomainWorld(const std::string& token = "",
                                  const std::string& computer = "FS1",
                                  const std::string& domain = "CORP",
                                  const std::string& faults = "") {
  std::string text = R"({
  "computer": ")" + computer +
                     R"(",
  )" + (domain.empty() ? std::string() : "\"domain\": \"" + domain + "\",") +
                     R"(
  "drives": {
    "C:": {"path": "fs1/c", "volume": {"total_bytes": 1000, "free_bytes": 400}},
    "E:": {"type": "cdrom"},
    "M:": {"connection": {"remote": "\\\\DC2\\public", "user": "NEWCORP\\migrator"}},
    "N:": {"connection": {"remote": "\\\\DC2\\archive", "connected": false}},
    "R:": {"type": "removable", "path": "fs1/r"},
    "U:": {"type": "unmounted"}
  },
  "servers": [
    {"name": "FS1", "dns_name": "fs1.corp.example.com",
     "sid": "S-1-5-21-1004336348-1177238915-682003330", "role": "member", "domain": "CORP",
     "version": "6.3", "comment": "CORP file server",
     "shares": [{"name": "data", "path": "fs1/data",
                 "volume": {"total_bytes": 2000, "free_bytes": 1500}}],
     "local_users": [{"name": "svc_backup", "rid": 1001}],
     "local_groups": [{"name": "Sales", "rid": 1003}]},
    {"name": "FS2", "sid": "S-1-5-21-2-2-2", "role": "member", "domain": "CORP",
     "comment": "second file server", "type": 36867,
     "shares": [{"name": "projects", "path": "fs2/projects", "dfs": true,
                 "volume": {"total_bytes": 3000, "free_bytes": 2500}}]},
    {"name": "DC1", "dns_name": "dc1.corp.example.com", "role": "domain_controller",
     "domain": "CORP", "comment": "CORP domain controller"},
    {"name": "DC2", "dns_name": "dc2.newcorp.example.net", "role": "domain_controller",
     "domain": "NEWCORP", "version": "10.0", "comment": "NEWCORP controller",
     "connect_as": "NEWCORP\\migrator",
     "shares": [{"name": "public", "path": "dc2/public",
                 "volume": {"total_bytes": 5000, "free_bytes": 3000}},
                {"name": "archive", "path": "dc2/archive",
                 "volume": {"total_bytes": 7000, "free_bytes": 6000}}]},
    {"name": "WS9", "sid": "S-1-5-21-9-9-9", "comment": "workgroup machine",
     "local_users": [{"name": "admin", "rid": 1000}]},
    {"name": "GONE", "sid": "S-1-5-21-7-7-7", "reachable": false,
     "shares": [{"name": "old", "path": "gone/old"}]}
  ],
  "domains": [
    {"name": "CORP", "dns_name": "corp.example.com",
     "sid": "S-1-5-21-3623811015-3361044348-30300820", "controller": "DC1",
     "accounts": [
       {"name": "alice", "rid": 1104, "full_name": "Alice Martin"},
       {"name": "Sales Team", "rid": 1106, "type": "group"},
       {"name": "FS1$", "rid": 1107, "type": "computer"},
       {"rid": 1108, "type": "deleted"}
     ],
     "trusts": [{"domain": "NEWCORP"}]},
    {"name": "NEWCORP", "dns_name": "newcorp.example.net",
     "sid": "S-1-5-21-2340681723-1396251106-1876254395", "controller": "DC2",
     "accounts": [
       {"name": "carol", "rid": 2201,
        "sid_history": ["S-1-5-21-3623811015-3361044348-30300820-1199"]},
       {"name": "migrator", "rid": 2202}
     ]},
    {"name": "ISLAND", "sid": "S-1-5-21-5-5-5",
     "accounts": [{"name": "hermit", "rid": 1000}]}
  ])" + (token.empty() ? std::string() : ",\n  \"token\": " + token) +
                     (faults.empty() ? std::string() : ",\n  \"faults\": " + faults) + "\n}";
  return text;
}

}  // namespace tarvik

#endif  // TARVIK_TESTS_COMMON_TWO_DOMAIN_WORLD_H_
