#include "translate/sd_translator.h"

#include "log/log.h"
#include "settings/copy_settings.h"
#include "translate/security_trace.h"

namespace tarvik {

SdTranslator::SdTranslator()
    : sourceMachineSid(SId::Null()),
      targetMachineSid(SId::Null()),
      newDomainSid(SId::Null()),
      defaultOwner(SId::Null()),
      defaultGroup(SId::Null()) {}

SdTranslator& TheSdTranslator() {
  static SdTranslator translator;
  return translator;
}

void ResetSdTranslator() {
  TheSdTranslator() = SdTranslator();
}

bool TranslateSid(SecurityWorkspace* workspace, const SId& source, SId* result, bool ignore_local) {
  return TheSdTranslator().TranslateSid(workspace, source, result, ignore_local);
}

void TranslateAcl(SecurityWorkspace* workspace, Acl& source, Acl* result) {
  TheSdTranslator().TranslateAcl(workspace, source, result);
}

bool TranslateSecurityDescriptor(SecurityWorkspace* workspace) {
  return TheSdTranslator().TranslateSecurityDescriptor(workspace);
}

bool TracingSecurity() {
  return Settings().debugSecurity != 0;
}

void TraceSecurity(std::wstring_view label, std::wstring_view text) {
  if (TracingSecurity())
    LogInfo(L"%-20s : %s", label, text);
}

}  // namespace tarvik
