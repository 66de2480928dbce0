// The translation of an ACL, entry by entry.
#include <vector>

#include "common/ace_dump.h"
#include "common/sd/ace_text.h"
#include "common/sd/sd_exception.h"
#include "log/log.h"
#include "translate/sd_translator.h"
#include "translate/security_trace.h"

namespace tarvik {
namespace {

constexpr uint8_t kLastSidAceType = 16;
constexpr uint8_t kFirstCallbackAceType = 9;
constexpr size_t kMaxAceSize = 0xFFFF;

bool IsVendorAce(uint8_t type) {
  return type >= kVendorUnixAttrAce && type <= kVendorUnixAttr64AaAce;
}

bool IsCallbackAce(uint8_t type) {
  return type >= kFirstCallbackAceType && type <= kLastSidAceType;
}

void TraceAce(const wchar_t* label, const Ace& ace, const std::wstring& server) {
  if (TracingSecurity())
    TraceSecurity(label, AceText(ace, server));
}

// source's entry again, around sid. A callback entry keeps what follows its
// SID (the condition it grants under): without it the entry would grant
// unconditionally.
void RebuildAce(const Ace& source, const Ace::Parts& parts, SidBytes sid, Ace* out) {
  out->Build(sid, parts.mask, parts.flags, parts.type, source.bytes());
  if (!IsCallbackAce(parts.type))
    return;
  AceBytes bytes = source.bytes();
  const size_t data_start = static_cast<size_t>(parts.sid.data() - bytes.data()) + parts.sid.size();
  if (data_start >= source.size())
    return;
  std::vector<uint8_t> rebuilt(out->bytes().begin(), out->bytes().end());
  rebuilt.insert(rebuilt.end(), bytes.begin() + data_start, bytes.begin() + source.size());
  if (rebuilt.size() > kMaxAceSize)
    throw SDException(L"Invalid ACE");
  rebuilt[2] = static_cast<uint8_t>(rebuilt.size());
  rebuilt[3] = static_cast<uint8_t>(rebuilt.size() >> 8);
  out->CopyFrom(rebuilt);
}

}  // namespace

void SdTranslator::TranslateAcl(SecurityWorkspace* workspace, Acl& source, Acl* result) const {
  result->CopyPresence(source);
  if (!source.present() || !source.has_acl())
    return;
  AceList kept;
  Ace ace;
  for (uint32_t i = 0; i < source.count(); ++i) {
    source.GetAce(i, &ace);
    Ace::Parts parts;
    ace.Parse(&parts);
    const uint8_t type = parts.type;
    if (type == kVendorStubAce && ignoreStubra) {
      LogWarning(L"%s -> STUBRA Stub file, file content not guaranty", workspace->targetPath);
      TraceAce(L"ACE Kestro : Discarded", ace, sourceServer.name);
      continue;
    }
    if (IsVendorAce(type)) {
      TraceAce(L"ACE Kestro", ace, sourceServer.name);
      kept.push_back(ace);
      continue;
    }
    if (type == SYSTEM_RESOURCE_ATTRIBUTE_ACE_TYPE || type == SYSTEM_SCOPED_POLICY_ID_ACE_TYPE) {
      TraceAce(L"ACE Copied", ace, sourceServer.name);
      kept.push_back(ace);
      continue;
    }
    if (type > kLastSidAceType) {
      TraceAce(L"ACE Opaque", ace, sourceServer.name);
      kept.push_back(ace);
      continue;
    }
    const SId sid(parts.sid);
    SId translated;
    if (!TranslateSid(workspace, sid, &translated, ignoreLocalAccounts) || translated.revoked()) {
      TraceAce(L"ACE Removed", ace, sourceServer.name);
      continue;
    }
    Ace rebuilt;
    RebuildAce(ace, parts, translated.Bytes(), &rebuilt);
    if (translated.EqualSid(sid)) {
      TraceAce(L"ACE Copied", ace, sourceServer.name);
    } else {
      TraceAce(L"ACE Translated", ace, sourceServer.name);
      TraceAce(L"to", rebuilt, targetServer.name);
    }
    kept.push_back(std::move(rebuilt));
  }
  result->Set(&kept);
}

}  // namespace tarvik
