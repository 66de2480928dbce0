#include "translate/sid_map_records.h"

#include <utility>

#include "common/sd/sid_string.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "translate/security_trace.h"
#include "util/text.h"

namespace tarvik {
namespace {

constexpr std::wstring_view kRevoked = L"REVOKED";
// How much of a line that is too long to be a record its message shows.
constexpr size_t kShownCutLine = 80;

// The text as a message shows it: the file is outside input, and a control
// character must not reach the console as one.
std::wstring Shown(std::wstring_view text) {
  std::wstring shown(text);
  for (wchar_t& c : shown) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
      c = L'?';
  }
  return shown;
}

std::wstring_view Unquoted(std::wstring_view text) {
  while (!text.empty() && text.front() == L'"')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == L'"')
    text.remove_suffix(1);
  return text;
}

bool IsRevoked(std::wstring_view text) {
  return EqualsNoCaseAscii(text, kRevoked);
}

// A SID of the file as the table keeps it: never looked up through the SID
// cache, so that the cache holds only what servers said.
std::optional<SId> ParseMapSid(std::wstring_view text, int base) {
  std::optional<std::vector<uint8_t>> bytes = ParseSidString(text, base);
  if (!bytes)
    return std::nullopt;
  return SId(*bytes, false);
}

// What a field before the value of a QEL side names.
enum class Kind { kSid, kHsid, kAccount, kUnknown };

Kind KindOf(std::wstring_view text) {
  if (EqualsNoCaseAscii(text, L"SID"))
    return Kind::kSid;
  if (EqualsNoCaseAscii(text, L"HSID"))
    return Kind::kHsid;
  for (std::wstring_view account : {L"NAME", L"USER", L"GROUP"}) {
    if (EqualsNoCaseAscii(text, account))
      return Kind::kAccount;
  }
  return Kind::kUnknown;
}

}  // namespace

SId ResolveAccountOnServer(const std::wstring& server, std::wstring_view name) {
  return SId::FromName(server, name, false);
}

SidMapReader::SidMapReader(const Server& source, const Server& target, SidMapTable* table,
                           AccountResolver resolve)
    : source_(source), target_(target), table_(table), resolve_(std::move(resolve)) {}

// Record errors are the file's, not the system's: no system error code goes
// with them.
template <typename... Args>
void SidMapReader::Reject(std::wstring_view format, const Args&... args) {
  LogError(0, format, line_number_, args...);
  ++counts_.rejected;
}

void SidMapReader::ReadLine(std::wstring_view line, bool cut) {
  ++line_number_;
  if (Settings().debugSystem)
    LogInfo(L"%s", Shown(line));
  if (line.empty() || line.front() == L'#')
    return;
  if (cut) {
    std::wstring shown = Shown(line.substr(0, kShownCutLine)) + L"...";
    Reject(L"Line %d : Bad record : %s", shown);
    return;
  }
  if (std::optional<RecordType> type = HeaderType(line)) {
    type_ = *type;
    return;
  }
  ReadRecord(line);
}

std::optional<SidMapReader::RecordType> SidMapReader::HeaderType(std::wstring_view line) {
  static constexpr std::pair<std::wstring_view, RecordType> kHeaders[] = {
      {L"SID_TO_SID", RecordType::kSidToSid},
      {L"HSID_TO_HSID", RecordType::kHsidToHsid},
      {L"ENUM_TYPE", RecordType::kEnumType},
      {L"QEL_RECORD", RecordType::kQelRecord},
  };
  for (const auto& [header, type] : kHeaders) {
    if (EqualsNoCaseAscii(line, header))
      return type;
  }
  return std::nullopt;
}

void SidMapReader::ReadRecord(std::wstring_view line) {
  // A NUL would end the text where a lookup reads it, and so name another
  // account than the record does.
  if (line.find(L'\0') != std::wstring_view::npos) {
    RejectBadRecord(line);
    return;
  }
  switch (type_) {
    case RecordType::kNone:
      Reject(L"Line %d : record type not specified, mapping discarded : %s ", Shown(line));
      return;
    case RecordType::kSidToSid:
      ReadSidPair(line, 10);
      return;
    case RecordType::kHsidToHsid:
      ReadSidPair(line, 16);
      return;
    case RecordType::kEnumType:
      ReadEnumType(line);
      return;
    case RecordType::kQelRecord:
      ReadQelRecord(line);
      return;
  }
}

void SidMapReader::ReadSidPair(std::wstring_view line, int base) {
  const size_t separator = line.find_first_of(L",:");
  if (separator == std::wstring_view::npos) {
    RejectBadRecord(line);
    return;
  }
  const std::wstring_view source_text = line.substr(0, separator);
  std::optional<SId> source = ParseMapSid(source_text, base);
  if (!source) {
    Reject(L"ELine %d : error in source SID string : %s", Shown(source_text));
    return;
  }
  AddEntry(*source, line.substr(separator + 1), base);
}

void SidMapReader::ReadEnumType(std::wstring_view line) {
  // Two fields nobody reads, the account, then the target: the rest of the
  // line.
  std::wstring_view rest = line;
  std::wstring_view fields[3];
  for (std::wstring_view& field : fields) {
    const size_t separator = rest.find_first_of(L",:");
    if (separator == std::wstring_view::npos) {
      RejectBadRecord(line);
      return;
    }
    field = rest.substr(0, separator);
    rest.remove_prefix(separator + 1);
  }
  const std::wstring_view name = Unquoted(fields[2]);
  std::optional<SId> source = Resolve(Side::kSource, name);
  if (!source) {
    Reject(L"Line %d : Unknown account %s on Source server %s", Shown(name), source_.name);
    return;
  }
  AddEntry(*source, Unquoted(rest), 10);
}

void SidMapReader::ReadQelRecord(std::wstring_view line) {
  const size_t first = line.find(L',');
  const size_t second = first == std::wstring_view::npos ? first : line.find(L',', first + 1);
  if (second == std::wstring_view::npos) {
    RejectBadRecord(line);
    return;
  }
  // One file may serve several pairs of servers: each record names its own.
  if (!source_.MatchesName(Unquoted(line.substr(0, first)))) {
    RejectOtherServer(line);
    return;
  }
  std::optional<SId> source =
      ReadSide(line.substr(first + 1, second - first - 1), Side::kSource, line);
  if (!source)
    return;
  const std::wstring_view rest = line.substr(second + 1);
  if (IsRevoked(rest)) {
    if (!IsDuplicate(*source))
      AddRevoked(*source);
    return;
  }
  const size_t third = rest.find(L',');
  if (third == std::wstring_view::npos) {
    RejectBadRecord(line);
    return;
  }
  // Before the duplicate check: the same source SID may well go to another
  // target server in a record of its own.
  if (!target_.MatchesName(Unquoted(rest.substr(0, third)))) {
    RejectOtherServer(line);
    return;
  }
  if (IsDuplicate(*source))
    return;
  const std::wstring_view target_side = rest.substr(third + 1);
  if (target_side.find(L',') != std::wstring_view::npos) {
    RejectBadRecord(line);
    return;
  }
  if (std::optional<SId> target = ReadSide(target_side, Side::kTarget, line))
    AddMapping(*source, *target);
}

std::optional<SId> SidMapReader::ReadSide(std::wstring_view text, Side side,
                                          std::wstring_view line) {
  const size_t colon = text.find(L':');
  const Kind kind =
      colon == std::wstring_view::npos ? Kind::kUnknown : KindOf(Unquoted(text.substr(0, colon)));
  if (kind == Kind::kUnknown) {
    RejectBadRecord(line);
    return std::nullopt;
  }
  const std::wstring_view value = Unquoted(text.substr(colon + 1));
  const bool source = side == Side::kSource;
  if (kind == Kind::kAccount) {
    std::optional<SId> sid = Resolve(side, value);
    if (!sid) {
      if (source)
        Reject(L"Line %d : Unknown account %s on Source server %s", Shown(value), source_.name);
      else
        Reject(L"Line %d : Unknown account %s on target server %s", Shown(value), target_.name);
    }
    return sid;
  }
  std::optional<SId> sid = ParseMapSid(value, kind == Kind::kHsid ? 16 : 10);
  if (!sid) {
    Reject(source ? L"Line %d : Error in source SID string : %s"
                  : L"Line %d : Error in target SID string : %s",
           Shown(value));
  }
  return sid;
}

std::optional<SId> SidMapReader::Resolve(Side side, std::wstring_view name) {
  // An empty name is no account, whatever a server would make of it.
  if (name.empty())
    return std::nullopt;
  const Server& server = side == Side::kSource ? source_ : target_;
  SId sid = resolve_(server.name, name);
  if (!sid.named())
    return std::nullopt;
  sid.set_cacheable(false);
  return sid;
}

void SidMapReader::AddEntry(const SId& source, std::wstring_view target_text, int base) {
  if (IsDuplicate(source))
    return;
  if (IsRevoked(target_text)) {
    AddRevoked(source);
    return;
  }
  std::optional<SId> target = ParseMapSid(target_text, base);
  if (!target) {
    Reject(L"Line %d : Error in target SID string : %s", Shown(target_text));
    return;
  }
  AddMapping(source, *target);
}

bool SidMapReader::IsDuplicate(const SId& source) {
  if (!table_->Contains(source))
    return false;
  Reject(L"Line %d : duplicate mapping for %s, mapping discarded ", source.ToString());
  return true;
}

void SidMapReader::AddRevoked(const SId& source) {
  if (TracingSecurity()) {
    SId named = source;
    LogInfo(L"%-20s : %s:%s", L"Revoked SID added", named.Name(source_.name), source.ToString());
  }
  SidMapEntry entry{source, true};
  table_->Insert(source, std::move(entry));
  ++counts_.revoked;
}

void SidMapReader::AddMapping(const SId& source, const SId& target) {
  if (TracingSecurity()) {
    SId named_source = source;
    SId named_target = target;
    LogInfo(L"%-20s : %s:%s--> %s:%s", L"Mapping added", named_source.Name(source_.name),
            source.ToString(), named_target.Name(target_.name), target.ToString());
  }
  table_->Insert(source, SidMapEntry{target, false});
  ++counts_.mappings;
}

void SidMapReader::RejectBadRecord(std::wstring_view line) {
  Reject(L"Line %d : Bad record : %s", Shown(line));
}

void SidMapReader::RejectOtherServer(std::wstring_view line) {
  LogError(0, L"Line %d : Not current source server, record discarded : %s", line_number_,
           Shown(line));
  ++counts_.otherServers;
}

}  // namespace tarvik
