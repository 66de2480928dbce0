#include "translate/home_dir.h"

#include "common/sd/sd_exception.h"
#include "common/security_io.h"
#include "log/log.h"
#include "platform/os.h"
#include "settings/copy_settings.h"
#include "translate/sd_translator.h"
#include "translate/security_apply.h"
#include "util/format.h"

namespace tarvik {
namespace {

// The control bits a template keeps: all but protection, auto-inheritance
// and presence, which the derived descriptors set for themselves.
constexpr SECURITY_DESCRIPTOR_CONTROL kKeptControl = 0xC3EB;
constexpr SECURITY_DESCRIPTOR_CONTROL kDaclInherited = SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED;
constexpr SECURITY_DESCRIPTOR_CONTROL kSaclInherited = SE_SACL_PRESENT | SE_SACL_AUTO_INHERITED;
constexpr uint8_t kInheritanceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE;

// What every object of the run is given, built once before the workers
// start and only read afterwards. The descriptors themselves are put
// together in each worker's workspace from these parts, since writing one
// adjusts its control word in place.
struct HomeDirTemplate {
  SId account;
  SId group = SId::Null();
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  Acl containerDacl;
  Acl fileDacl;
  Acl containerSacl;
  Acl fileSacl;
};

HomeDirTemplate& TheTemplate() {
  static HomeDirTemplate* home_dir = new HomeDirTemplate;
  return *home_dir;
}

// A copy of ace with other flags.
Ace WithFlags(const Ace& ace, uint8_t flags) {
  std::vector<uint8_t> bytes(ace.bytes().begin(), ace.bytes().end());
  bytes[1] = flags;
  Ace copy;
  copy.CopyFrom(bytes);
  return copy;
}

// The entry granting the account what ace grants its creator.
Ace ForAccount(const Ace& ace, const SId& account, uint8_t flags) {
  Ace made;
  made.Build(account.Bytes(), ace.mask(), flags, ace.type(), ace.bytes());
  return made;
}

// Splits the template ACL into what directories and files inherit from it,
// as the system propagates inheritable entries to new children.
void DeriveAcls(const Acl& source, const SId& account, Acl* containers, Acl* files) {
  AceList for_containers;
  AceList for_files;
  Ace ace;
  for (uint32_t i = 0; i < source.count(); ++i) {
    source.GetAce(i, &ace);
    const uint8_t flags = ace.flags();
    const uint8_t inherited = (flags & ~kInheritanceFlags) | INHERITED_ACE;
    const SidBytes sid = ace.Sid();
    const bool creator = !sid.empty() && IsCreatorAuthority(sid);
    if (flags & CONTAINER_INHERIT_ACE) {
      if (creator) {
        for_containers.push_back(WithFlags(ace, flags | INHERITED_ACE));
        for_containers.push_back(ForAccount(ace, account, inherited));
      } else {
        for_containers.push_back(WithFlags(ace, (flags & ~INHERIT_ONLY_ACE) | INHERITED_ACE));
      }
    }
    if (flags & OBJECT_INHERIT_ACE)
      for_files.push_back(creator ? ForAccount(ace, account, inherited)
                                  : WithFlags(ace, inherited));
  }
  for (auto [list, acl] : {std::pair{&for_containers, containers}, std::pair{&for_files, files}}) {
    if (list->empty())
      continue;
    acl->CopyPresence(source);
    acl->Set(list);
  }
}

// The home directory when it exists and belongs to the account, otherwise
// its parent.
std::wstring TemplateDirectory(const std::wstring& root, const SId& account) {
  Os& os = Os::Current();
  WIN32_FIND_DATAW data;
  HANDLE find = os.FindFirstFileW(root.c_str(), &data);
  bool use_parent = find == INVALID_HANDLE_VALUE;
  if (use_parent) {
    const DWORD error = Os::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      throw SDException(Format(L"Unexpected error %d when accessing %s", error, root));
  } else {
    os.FindClose(find);
    SecDesc present;
    SId owner;
    use_parent = !ReadSecurity(&present, root, false, false, true, false) ||
                 !present.GetOwner(&owner) || !owner.IsValid() || !owner.EqualSid(account);
  }
  if (!use_parent)
    return root;
  const size_t backslash = root.find_last_of(L'\\');
  const std::wstring parent = backslash == std::wstring::npos ? root : root.substr(0, backslash);
  find = os.FindFirstFileW(parent.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    throw SDException(Format(L"Unexpected error %d when accessing %s", Os::GetLastError(), parent));
  }
  os.FindClose(find);
  return parent;
}

void BuildTemplate(const std::wstring& server, const std::wstring& root, const std::wstring& name) {
  HomeDirTemplate& t = TheTemplate();
  t.account = SId::FromName(server, name);
  // An account the server does not know would stamp every object with a
  // SID that means nobody: the run stops instead (the lookup said why).
  if (!t.account.named())
    throw SDException(Format(L"Unable to resolve the home directory account %s", name));
  t.account.set_defaulted(false);
  const std::wstring directory = TemplateDirectory(root, t.account);
  SecDesc source;
  if (!ReadSecurity(&source, directory, true, true, true, false))
    throw SDException(Format(L"Unable to get the security descriptor of %s", directory));
  if (source.GetGroup(&t.group) && t.group.IsValid())
    t.group.set_defaulted(false);
  Acl dacl;
  Acl sacl;
  t.control = source.control() & kKeptControl;
  if (source.GetDacl(&dacl) && dacl.count() > 0) {
    t.control |= kDaclInherited;
    DeriveAcls(dacl, t.account, &t.containerDacl, &t.fileDacl);
  }
  if (source.GetSacl(&sacl) && sacl.count() > 0) {
    t.control |= kSaclInherited;
    DeriveAcls(sacl, t.account, &t.containerSacl, &t.fileSacl);
  }
}

void RecordSettings(SdTranslator* t, const Server& target, bool list_only) {
  const CopySettings& s = Settings();
  t->securityMode = SecurityMode::HomeDir;
  t->listOnly = list_only;
  t->copyOwner = s.copyOwner;
  t->copyAudit = s.copyAudit;
  t->copyDac = s.copyDac;
  t->copyDacl = true;
  t->quiet = s.quiet;
  t->debug = s.debug;
  // Both sides of every comparison are target objects.
  t->sourceServer = target;
  t->targetServer = target;
}

// The descriptor of the object's kind, in the workspace.
void BuildDescriptor(SecDesc* built, bool is_directory) {
  const HomeDirTemplate& t = TheTemplate();
  built->Reset();
  built->SetOwner(t.account);
  if (t.group.IsValid())
    built->SetGroup(t.group);
  const Acl& dacl = is_directory ? t.containerDacl : t.fileDacl;
  const Acl& sacl = is_directory ? t.containerSacl : t.fileSacl;
  if (dacl.has_acl())
    built->SetDacl(dacl);
  if (sacl.has_acl())
    built->SetSacl(sacl);
  built->set_control(t.control);
}

}  // namespace

bool InitHomeDirTranslation(const Server& target_server, const std::wstring& target_root,
                            const std::wstring& account_name, bool list_only) {
  SdTranslator& t = TheSdTranslator();
  if (t.initialized)
    return true;
  RecordSettings(&t, target_server, list_only);
  try {
    BuildTemplate(target_server.name, target_root, account_name);
  } catch (const SDException& e) {
    LogWarning(L"%s", e.message());
    LogWarning(L"Unable to initialize the Security Descriptor translator");
    return false;
  }
  t.initialized = true;
  return true;
}

bool PropagateHomeDirSecurity(SecurityWorkspace* w, const std::wstring& target_path,
                              bool is_directory, bool target_existed, bool open_reparse_point,
                              bool* changed) {
  const SdTranslator& t = TheSdTranslator();
  *changed = false;
  try {
    BuildDescriptor(&w->built, is_directory);
    if (target_existed) {
      if (!ReadSecurity(&w->current, target_path, true, true, true, open_reparse_point))
        return false;
      if (CompareSecurity(w, Format(L"Current %s", target_path), w->current, w->built, target_path,
                          w->current)) {
        return true;
      }
    }
    if (!t.listOnly) {
      if (!WriteSecurity(w->built, target_path, true, !target_existed, is_directory,
                         open_reparse_point)) {
        return false;
      }
      if (!t.quiet)
        LogInfo(L"%s -> Security Propagated", target_path);
    }
    *changed = true;
    return true;
  } catch (const SDException& e) {
    LogWarning(L"%s -> %s", target_path, e.message());
    // The thread's last error is some earlier call's, which the security
    // step could take for a lost connection and retry.
    Os::SetLastError(ERROR_INVALID_SECURITY_DESCR);
    LogLastError(L"%s -> Unable to propagate security", target_path);
    return false;
  }
}

}  // namespace tarvik
