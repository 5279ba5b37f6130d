// The process token and the user's SID. A Unix user is S-1-22-1-<uid>, the
// form Samba and Windows interoperability use for Unix users, kept as a real
// binary SID.
#include <string.h>
#include <unistd.h>

#include "kernel/errors.h"
#include "kernel/handles.h"

namespace {

constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;

struct UnixUserSid {
  BYTE revision = kSidRevision;
  BYTE subAuthorityCount = 2;
  BYTE identifierAuthority[6] = {0, 0, 0, 0, 0, 22};
  DWORD subAuthority[2] = {1, 0};
};

class TokenObject : public vk_posix::KernelObject {
 public:
  UnixUserSid sid;
};

// The pseudo handle of the current process, as on Windows.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

}  // namespace

HANDLE Vk::Win32::GetCurrentProcess(void) { return kCurrentProcess; }

// Only the current process's token can be opened.
BOOL Vk::Win32::OpenProcessToken(HANDLE ProcessHandle, DWORD /*DesiredAccess*/, PHANDLE TokenHandle) {
  if (!TokenHandle) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  if (ProcessHandle != kCurrentProcess) return vk_posix::Fail(ERROR_INVALID_HANDLE);
  auto token = std::make_shared<TokenObject>();
  // The effective user: the one whose rights the process has.
  token->sid.subAuthority[1] = static_cast<DWORD>(geteuid());
  *TokenHandle = vk_posix::InsertHandle(std::move(token));
  return TRUE;
}

// TokenUser only: a TOKEN_USER followed by the SID it points to.
BOOL Vk::Win32::GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength) {
  auto token = vk_posix::LookupHandleAs<TokenObject>(TokenHandle);
  if (!token) return FALSE;
  if (TokenInformationClass != TokenUser || !ReturnLength) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sizeof(UnixUserSid));
  *ReturnLength = needed;
  if (!TokenInformation || TokenInformationLength < needed) return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  auto* user = static_cast<TOKEN_USER*>(TokenInformation);
  BYTE* sid = static_cast<BYTE*>(TokenInformation) + sizeof(TOKEN_USER);
  memcpy(sid, &token->sid, sizeof token->sid);
  user->User.Sid = sid;
  user->User.Attributes = 0;
  return TRUE;
}

BOOL Vk::Win32::IsValidSid(PSID pSid) {
  const BYTE* sid = static_cast<const BYTE*>(pSid);
  return sid && sid[0] == kSidRevision && sid[1] <= kMaxSubAuthorities;
}

DWORD Vk::Win32::GetLengthSid(PSID pSid) {
  const BYTE* sid = static_cast<const BYTE*>(pSid);
  return 8u + 4u * sid[1];
}

BOOL Vk::Win32::CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid) {
  if (!IsValidSid(pSourceSid)) return vk_posix::Fail(ERROR_INVALID_SID);
  DWORD length = GetLengthSid(pSourceSid);
  if (nDestinationSidLength < length || !pDestinationSid) return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(pDestinationSid, pSourceSid, length);
  return TRUE;
}
