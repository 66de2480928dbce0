// Server: the machine, share and domain behind a source or target path, as
// SID translation, the command report and the transfer window need them. A
// run resolves two, the source's and the target's, in the root set-up; they
// are read-only afterwards.
#ifndef TARVIK_SERVER_SERVER_H_
#define TARVIK_SERVER_SERVER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/sid.h"
#include "platform/win_types.h"

namespace tarvik {

class Server {
 public:
  Server();

  // Resolves path (a drive path or a UNC path, either possibly in its long
  // form) and fills the record. need_account_info (security is replicated
  // with translation) also reads the connected user and the domain SID.
  // False, with the reason logged, when the server cannot be resolved.
  bool GetFromPath(std::wstring_view path, bool need_account_info);

  // The root of the volume: "\\NAME.DOMAIN\share\" for a remote path, "X:\"
  // for a drive.
  std::wstring RootText() const;
  // text names this server: its name or its qualified name, with or without
  // leading backslashes, in any letter case.
  bool MatchesName(std::wstring_view text) const;
  // "NAME            6.3 comment" through LogText.
  void PrintServerLine() const;

  std::wstring name;           // "\\" and the computer name in upper case
  std::wstring domainName;     // NetBIOS-style domain name, upper case; empty in a workgroup
  std::wstring dcName;         // the domain controller's first label
  std::wstring serverComment;  // sv101_comment
  std::wstring osVersion;      // "major.minor"
  DWORD serverType = 0;        // sv101_type
  DWORD osMajor = 0;
  DWORD osMinor = 0;
  std::wstring userName;       // the account the connection uses, or "Unknown"
  std::wstring shareName;      // remote paths only
  std::wstring subPath;        // below the share, beginning with '\'; remote paths only
  std::wstring fullPath;       // the path in full (see GetFromPath)
  std::wstring pathType;       // "UNCpath" or the drive ("D:")
  std::wstring qualifiedName;  // name, or "name.domainName" when joined to a domain
  SId domainSid;               // null until read (with account information only)
  DWORD joinStatus = 0;        // NETSETUP_JOIN_STATUS
  bool isDfsShare = false;
  uint64_t freeBytesToCaller = 0;
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
};

// The two report lines of the source and target servers ("Server SRC",
// "Server DEST"), "UNKNOWN" for a server whose name is not known.
void PrintServerReport(const Server& source, const Server& target);

}  // namespace tarvik

#endif  // TARVIK_SERVER_SERVER_H_
