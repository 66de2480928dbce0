// The translation of a whole security descriptor, from the workspace's
// source descriptor into the descriptor built for the target.
#include "common/sd/sd_exception.h"
#include "log/log.h"
#include "translate/sd_translator.h"
#include "translate/security_trace.h"

namespace tarvik {
namespace {

// The texts that tell what happened to the owner, or to the group.
struct IdentityTexts {
  const wchar_t* removed;
  const wchar_t* sid_label;
  const wchar_t* name_label;
};

constexpr IdentityTexts kOwnerTexts = {
    L"Original Owner SID %s removed, owner set to the user connected to the target",
    L"Owner SID set to", L"Owner set to"};
constexpr IdentityTexts kGroupTexts = {
    L"Original group SID %s removed, group set to the primary group of the user connected to "
    L"the target",
    L"Group SID set to", L"Group set to"};

// The owner or group carried over, or the default one when it cannot be.
void TranslateIdentity(const SdTranslator& t, SecurityWorkspace* workspace, bool present,
                       SId* source, SId* translated, const SId& fallback, bool ignore_local,
                       const IdentityTexts& texts) {
  if (!present)
    *source = SId::Null();  // nothing left over from the previous object
  if (!present || !t.TranslateSid(workspace, *source, translated, ignore_local) ||
      translated->revoked()) {
    if (TracingSecurity())
      LogInfo(texts.removed, source->ToString());
    *translated = fallback;
  }
  if (TracingSecurity()) {
    TraceSecurity(texts.sid_label, translated->ToString());
    TraceSecurity(texts.name_label, translated->DisplayName(t.targetServer.name));
  }
}

}  // namespace

bool SdTranslator::TranslateSecurityDescriptor(SecurityWorkspace* w) const {
  try {
    w->built.Reset();
    if (copyOwner) {
      // Unmatched local accounts never become owners on another server.
      const bool ignore_local = sameServer ? ignoreLocalAccounts : true;
      const bool has_owner = w->source.GetOwner(&w->sourceOwner);
      TranslateIdentity(*this, w, has_owner, &w->sourceOwner, &w->translatedOwner, defaultOwner,
                        ignore_local, kOwnerTexts);
      w->built.SetOwner(w->translatedOwner);
      const bool has_group = w->source.GetGroup(&w->sourceGroup);
      TranslateIdentity(*this, w, has_group, &w->sourceGroup, &w->translatedGroup, defaultGroup,
                        ignore_local, kGroupTexts);
      w->built.SetGroup(w->translatedGroup);
    }
    bool acl_handled = false;
    if (copyDacl && w->source.GetDacl(&w->sourceDacl)) {
      TranslateAcl(w, w->sourceDacl, &w->translatedDacl);
      w->built.SetDacl(w->translatedDacl);
      acl_handled = true;
    }
    if ((copyAudit || copyDac) && w->source.GetSacl(&w->sourceSacl)) {
      TranslateAcl(w, w->sourceSacl, &w->translatedSacl);
      w->built.SetSacl(w->translatedSacl);
      if (copyDac)
        w->built.add_parts(ATTRIBUTE_SECURITY_INFORMATION | SCOPE_SECURITY_INFORMATION);
      acl_handled = true;
    }
    if (acl_handled)
      w->built.set_control(w->source.control());
    return true;
  } catch (const SDException& e) {
    // The primitive that failed has traced its own failure; the caller
    // reports the object with the reason.
    w->translationFailure = e.message();
    return false;
  }
}

}  // namespace tarvik
