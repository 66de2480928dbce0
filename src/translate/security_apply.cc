#include "translate/security_apply.h"

#include "common/ace_dump.h"
#include "common/sd/sd_exception.h"
#include "common/security_io.h"
#include "log/log.h"
#include "platform/os.h"
#include "settings/copy_settings.h"
#include "translate/sd_translator.h"
#include "util/format.h"

namespace tarvik {
namespace {

bool ComparedExactly(SecurityMode mode) {
  return mode == SecurityMode::Force || mode == SecurityMode::HomeDir;
}

// Whether the two ACLs agree under the mode's comparison.
bool AclsAgree(SecurityMode mode, const Acl& to_apply, const Acl& target) {
  return ComparedExactly(mode) ? to_apply.EqualAsSet(target) : to_apply.Equivalent(target);
}

// The owners (or groups) differ: the target has none, or another one.
bool SidsDiffer(bool (SecDesc::*get)(SId*) const, const SecDesc& to_apply, const SecDesc& target,
                SId* wanted, SId* present) {
  if (!(to_apply.*get)(wanted))
    return false;
  if (!(target.*get)(present))
    return false;  // both must carry the part
  return !present->IsValid() || !wanted->EqualSid(*present);
}

class DifferenceText {
 public:
  DifferenceText(const std::wstring& first_path, const std::wstring& target_path)
      : enabled_(Settings().debugSecurity != 0) {
    if (enabled_)
      text_ = Format(
          L"NT Security properties between the following two pathnames are not equal:\n "
          L"Path1:%ls\n Path2:%ls\n",
          first_path, target_path);
  }

  void Sids(const wchar_t* title, SId& first, SId& target) {
    if (!enabled_)
      return;
    const SdTranslator& t = TheSdTranslator();
    text_ += title;
    text_ += Format(L"  Path1: %ls\n", first.DisplayName(t.sourceServer.name));
    text_ += Format(L"  Path2: %ls\n", target.DisplayName(t.targetServer.name));
  }

  void Acls(bool dacl, const Acl& to_apply, const Acl& target) {
    if (!enabled_)
      return;
    const SdTranslator& t = TheSdTranslator();
    if (dacl) {
      text_ += L" Discretionary ACLs are different:\n";
      text_ += Format(L"  Path1: DACL count:%ld\n", to_apply.count());
      text_ += AclText(to_apply, t.targetServer.name);
      text_ += Format(L"  Path2: DACL count:%ld\n", target.count());
    } else {
      text_ += L"System ACLs are different:\n";
      text_ += Format(L" Path1: SACL count:%ld\n", to_apply.count());
      text_ += AclText(to_apply, t.sourceServer.name);
      text_ += Format(L" Path2: SACL count:%ld\n", target.count());
    }
    text_ += AclText(target, t.targetServer.name);
  }

  // The description goes to the log as one trace entry.
  void Write() const {
    if (enabled_)
      LogInfo(L"%s", text_);
  }

 private:
  bool enabled_;
  std::wstring text_;
};

// Collects the target's entries the translated ACL lacks, then rebuilds the
// translated ACL with them first.
bool MergeAcl(const wchar_t* trace, Acl& target, Acl* translated, const Acl& source) {
  AceList merged;
  Ace ace;
  const std::wstring& server = TheSdTranslator().targetServer.name;
  for (uint32_t i = 0; i < target.count(); ++i) {
    target.GetAce(i, &ace);
    if (translated->ContainsTypeAndSid(ace))
      continue;
    if (Settings().debugSecurity)
      LogInfo(trace, AceText(ace, server));
    merged.push_back(ace);
  }
  if (merged.empty())
    return false;
  for (uint32_t i = 0; i < translated->count(); ++i) {
    translated->GetAce(i, &ace);
    merged.push_back(ace);
  }
  translated->Clear();
  translated->CopyPresence(source);
  translated->Set(&merged);
  return true;
}

}  // namespace

bool CompareSecurity(SecurityWorkspace* workspace, const std::wstring& first_path, SecDesc& first,
                     SecDesc& to_apply, const std::wstring& target_path, SecDesc& target) {
  const SdTranslator& t = TheSdTranslator();
  DifferenceText difference(first_path, target_path);
  SId wanted;
  SId present;
  if (t.copyOwner) {
    if (SidsDiffer(&SecDesc::GetOwner, to_apply, target, &wanted, &present)) {
      SId shown;
      first.GetOwner(&shown);
      difference.Sids(L" Owners are different:\n", shown, present);
      difference.Write();
      return false;
    }
    if (SidsDiffer(&SecDesc::GetGroup, to_apply, target, &wanted, &present)) {
      SId shown;
      first.GetGroup(&shown);
      difference.Sids(L" Primary Groups are different:\n", shown, present);
      difference.Write();
      return false;
    }
  }
  if (t.securityMode == SecurityMode::Copy)
    return true;
  Acl applied;
  Acl existing;
  if (t.copyDacl && to_apply.GetDacl(&applied) && target.GetDacl(&existing) &&
      !AclsAgree(t.securityMode, applied, existing)) {
    difference.Acls(true, applied, existing);
    difference.Write();
    return false;
  }
  if ((t.copyAudit || t.copyDac) && to_apply.GetSacl(&applied) && target.GetSacl(&existing) &&
      !AclsAgree(t.securityMode, applied, existing)) {
    difference.Acls(false, applied, existing);
    difference.Write();
    return false;
  }
  return true;
}

void MergeTargetAces(SecurityWorkspace* w) {
  const SdTranslator& t = TheSdTranslator();
  Acl target;
  if (t.copyDacl && w->current.GetDacl(&target) &&
      MergeAcl(L"ACE inserted in Translated DACL : %s\n", target, &w->translatedDacl,
               w->sourceDacl)) {
    w->built.SetDacl(w->translatedDacl);
  }
  if (t.copyAudit && w->current.GetSacl(&target) &&
      MergeAcl(L"ACE inserted in Translated SACL : %s\n", target, &w->translatedSacl,
               w->sourceSacl)) {
    w->built.SetSacl(w->translatedSacl);
  }
}

bool ApplySecurity(SecurityWorkspace* w, const std::wstring& source_path,
                   const std::wstring& target_path, bool is_directory, bool target_existed,
                   bool* changed, bool open_reparse_point) {
  const SdTranslator& t = TheSdTranslator();
  *changed = false;
  try {
    if (!ReadSecurity(&w->source, source_path, t.copyAudit, t.copyDac, true, open_reparse_point))
      return false;
    w->sourcePath = source_path;
    w->targetPath = target_path;
    // A descriptor translated only in part would strip the target of what
    // failed (a missing DACL lets the target's default one in), so the
    // object fails instead and keeps what it has.
    w->translationFailure.clear();
    if (!TranslateSecurityDescriptor(w)) {
      throw SDException(w->translationFailure.empty()
                            ? L"Unable to translate the security descriptor"
                            : w->translationFailure);
    }
    if (target_existed) {
      if (!ReadSecurity(&w->current, target_path, t.copyAudit, t.copyDac, true, open_reparse_point))
        return false;
      if (CompareSecurity(w, source_path, w->source, w->built, target_path, w->current))
        return true;
    }
    if (!t.listOnly) {
      if (t.securityMode == SecurityMode::Merge)
        MergeTargetAces(w);
      if (!WriteSecurity(w->built, target_path, true, !target_existed, is_directory,
                         open_reparse_point))
        return false;
      if (target_existed && !t.quiet)
        LogInfo(L"%s -> Security fixed", target_path);
    }
    *changed = true;
    return true;
  } catch (const SDException& e) {
    // The descriptor for the target could not be built: say what in the
    // source stopped it. The thread's last error is some earlier call's,
    // which the security step could take for a lost connection or a missing
    // target and retry.
    LogWarning(L"%s -> %s", source_path, e.message());
    Os::SetLastError(ERROR_INVALID_SECURITY_DESCR);
    LogLastError(L"%s -> Unable to fix security", target_path);
    return false;
  }
}

}  // namespace tarvik
