#include "common/security_io.h"

#include "common/ace_dump.h"
#include "common/sd/descriptor_bytes.h"
#include "common/sd/sd_exception.h"
#include "log/log.h"
#include "platform/handle_closer.h"
#include "platform/os.h"
#include "settings/copy_settings.h"
#include "util/format.h"

namespace tarvik {
namespace {

constexpr uint32_t kFirstReadSize = 1024;
constexpr SECURITY_INFORMATION kSaclParts =
    SACL_SECURITY_INFORMATION | ATTRIBUTE_SECURITY_INFORMATION | SCOPE_SECURITY_INFORMATION;

DWORD OpenFlags(bool backup_semantics, bool open_reparse_point) {
  return (backup_semantics ? FILE_FLAG_BACKUP_SEMANTICS : 0) |
         (open_reparse_point ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
}

void ReadInto(SecDesc* target, HANDLE handle, SECURITY_INFORMATION parts,
              const std::wstring& path) {
  target->Reserve(kFirstReadSize);
  for (;;) {
    DWORD needed = 0;
    if (Os::Current().GetKernelObjectSecurity(handle, parts, target->buffer(), target->capacity(),
                                              &needed)) {
      SECURITY_DESCRIPTOR_CONTROL control = 0;
      DWORD revision = 0;
      if (!GetSecurityDescriptorControl(target->descriptor(), &control, &revision))
        throw SDException(Format(L"Unable to get security descriptor control of file %s", path));
      target->TakeRead(parts, control, revision);
      return;
    }
    DWORD error = Os::GetLastError();
    uint64_t capacity;
    if (error == ERROR_INSUFFICIENT_BUFFER)
      capacity = needed;
    else if (error == ERROR_MORE_DATA)
      capacity = uint64_t{target->capacity()} * 2;
    else
      throw SDException(Format(L"Unable to get SD of file %s", path));
    if (capacity > kMaxDescriptorSize)
      throw SDException(Format(L"Allocate memory request for SD > 64Kb ?? for file %s", path));
    // A need no larger than what we hold would repeat the same failure.
    if (capacity <= target->capacity())
      throw SDException(Format(L"Unable to get SD of file %s", path));
    target->Reserve(static_cast<uint32_t>(capacity));
  }
}

// The inheritance and protection bits the target takes from the source.
void CarryControl(SecDesc& descriptor) {
  SECURITY_DESCRIPTOR_CONTROL bits = 0;
  if ((descriptor.control() & SE_DACL_AUTO_INHERITED) != 0)
    bits |= SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
  if ((descriptor.control() & SE_DACL_PROTECTED) != 0)
    bits |= SE_DACL_PROTECTED;
  if ((descriptor.control() & SE_SACL_AUTO_INHERITED) != 0)
    bits |= SE_SACL_AUTO_INHERITED;
  if (bits == 0)
    return;
  SECURITY_DESCRIPTOR* absolute = static_cast<SECURITY_DESCRIPTOR*>(descriptor.buffer());
  if (!SetSecurityDescriptorControl(absolute, bits, bits))
    throw SDException(L"Unable to set security descriptor control");
}

void CreateObject(const std::wstring& path, bool is_directory) {
  Os& os = Os::Current();
  if (!is_directory) {
    HANDLE file = os.CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      throw SDException(Format(L"%s -> Unable to create file", path));
    HandleCloser closer(&file);
    return;
  }
  if (os.CreateDirectoryW(path.c_str(), nullptr))
    return;
  if (Os::GetLastError() != ERROR_ALREADY_EXISTS)
    throw SDException(Format(L"%s -> Unable to create directory", path));
  if (Settings().debugSystem)
    LogInfo(L"%s -> directory should not exist at this point", path);
}

void ReportRefusedDescriptor(const SecDesc& descriptor, const std::wstring& path) {
  DWORD error = Os::GetLastError();
  if (IsValidSecurityDescriptor(descriptor.descriptor()))
    LogWarning(
        L"%s -> Security descriptor validated by windows function : "
        L"IsValidSecurityDescriptor",
        path);
  else
    LogWarning(
        L"%s -> Security descriptor detected as unvalid by windows function : "
        L"IsValidSecurityDescriptor",
        path);
  DescriptorDump(descriptor.descriptor());
  Os::SetLastError(error);
}

}  // namespace

bool ReadSecurity(SecDesc* target, const std::wstring& path, bool want_sacl, bool want_dac,
                  bool backup_semantics, bool open_reparse_point) {
  try {
    SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (want_sacl)
      parts |= SACL_SECURITY_INFORMATION;
    if (want_dac)
      parts |= ATTRIBUTE_SECURITY_INFORMATION | SCOPE_SECURITY_INFORMATION;
    DWORD access = READ_CONTROL | (want_sacl || want_dac ? ACCESS_SYSTEM_SECURITY : 0);
    HANDLE handle = Os::Current().CreateFileW(
        path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, OpenFlags(backup_semantics, open_reparse_point), nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      throw SDException(
          Format(L"Get SD Unable to open file %s, error 0x%x", path, Os::GetLastError()));
    HandleCloser closer(&handle);
    ReadInto(target, handle, parts, path);
    return true;
  } catch (const SDException& e) {
    LogLastError(L"%s", e.message());
    return false;
  }
}

bool WriteSecurity(SecDesc& descriptor, const std::wstring& path, bool backup_semantics,
                   bool create, bool is_directory, bool open_reparse_point) {
  if (descriptor.parts() == 0)
    return true;
  try {
    CarryControl(descriptor);
    if (create)
      CreateObject(path, is_directory);
    DWORD access = WRITE_DAC | WRITE_OWNER |
                   ((descriptor.parts() & kSaclParts) != 0 ? ACCESS_SYSTEM_SECURITY : 0);
    HANDLE handle =
        Os::Current().CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                  OpenFlags(backup_semantics, open_reparse_point), nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      throw SDException(Format(L"%s -> Unable to open object for SD setting ", path));
    HandleCloser closer(&handle);
    if (Os::Current().SetKernelObjectSecurity(handle, descriptor.parts(), descriptor.descriptor()))
      return true;
    if (Settings().debugSecurity)
      ReportRefusedDescriptor(descriptor, path);
    throw SDException(Format(L"%s -> Unable to set SD", path));
  } catch (const SDException& e) {
    LogLastError(L"%s", e.message());
    return false;
  }
}

}  // namespace tarvik
