// The records of a SID map file, read one line at a time into a SidMapTable.
//
// The file is a list of sections. A line that is, whole and in any letter
// case, one of the headers SID_TO_SID, HSID_TO_HSID, ENUM_TYPE or QEL_RECORD
// chooses how the lines after it are read:
//
//   SID_TO_SID    source,target       decimal SIDs; ':' may stand for ','
//   HSID_TO_HSID  source,target       the same, sub-authorities hexadecimal
//   ENUM_TYPE     x,y,account,target  the account is looked up on the source
//   QEL_RECORD    server,KIND:value,server,KIND:value
//                 each side on its own server; KIND is SID, HSID, or NAME,
//                 USER, GROUP for an account name
//
// A target may be REVOKED instead: the SID is dropped from every descriptor.
// Empty lines and lines beginning with '#' are skipped. A record in error is
// reported with its line number and skipped; the lines after it still count.
#ifndef TARVIK_TRANSLATE_SID_MAP_RECORDS_H_
#define TARVIK_TRANSLATE_SID_MAP_RECORDS_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/sid.h"
#include "server/server.h"
#include "translate/sid_map_table.h"

namespace tarvik {

// What a map file brought.
struct SidMapCounts {
  int mappings = 0;      // source SIDs given a target
  int revoked = 0;       // source SIDs to drop
  int rejected = 0;      // records in error, not loaded
  int otherServers = 0;  // records for another pair of servers, left aside
};

// The SID of an account name on a server, or a SID that is not named() when
// the server does not know it.
using AccountResolver = std::function<SId(const std::wstring& server, std::wstring_view name)>;

// Looks the name up on the server itself, past the SID cache.
SId ResolveAccountOnServer(const std::wstring& server, std::wstring_view name);

class SidMapReader {
 public:
  SidMapReader(const Server& source, const Server& target, SidMapTable* table,
               AccountResolver resolve = ResolveAccountOnServer);

  // The next line, without its line end. cut: the line was longer than any
  // record may be, and only its start is given.
  void ReadLine(std::wstring_view line, bool cut = false);

  const SidMapCounts& counts() const { return counts_; }

 private:
  enum class RecordType { kNone, kSidToSid, kHsidToHsid, kEnumType, kQelRecord };
  enum class Side { kSource, kTarget };

  static std::optional<RecordType> HeaderType(std::wstring_view line);

  void ReadRecord(std::wstring_view line);
  void ReadSidPair(std::wstring_view line, int base);
  void ReadEnumType(std::wstring_view line);
  void ReadQelRecord(std::wstring_view line);
  // One side of a QEL record, KIND:value; nothing when it is reported.
  std::optional<SId> ReadSide(std::wstring_view text, Side side, std::wstring_view line);
  std::optional<SId> Resolve(Side side, std::wstring_view name);

  // The last steps of every record type but QEL: no second word on a SID,
  // then REVOKED or a target SID in base.
  void AddEntry(const SId& source, std::wstring_view target_text, int base);
  bool IsDuplicate(const SId& source);
  void AddRevoked(const SId& source);
  void AddMapping(const SId& source, const SId& target);

  void RejectBadRecord(std::wstring_view line);
  void RejectOtherServer(std::wstring_view line);
  template <typename... Args>
  void Reject(std::wstring_view format, const Args&... args);

  const Server& source_;
  const Server& target_;
  SidMapTable* table_;
  AccountResolver resolve_;
  RecordType type_ = RecordType::kNone;
  int line_number_ = 0;
  SidMapCounts counts_;
};

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_SID_MAP_RECORDS_H_
