#include "file_access.h"

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>

#include <vector>

namespace vantorix::testing {
namespace {

// The TokenUser information of this process, SID included; empty when unknown.
std::vector<DWORD> token_user() {
  std::vector<DWORD> user;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return user;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  user.resize(size / sizeof(DWORD) + 1);
  if (size == 0 || !::GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
  ::CloseHandle(token);
  return user;
}

}  // namespace

bool owner_only(const std::string& path) {
  const std::vector<DWORD> user = token_user();
  if (user.empty()) return false;
  PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  void* entry = nullptr;
  const bool result = acl != nullptr && ::GetSecurityDescriptorControl(descriptor, &control, &revision) &&
                      (control & SE_DACL_PROTECTED) != 0 && acl->AceCount == 1 && ::GetAce(acl, 0, &entry) &&
                      static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                      ::EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart, sid);
  ::LocalFree(descriptor);
  return result;
}

}  // namespace vantorix::testing
