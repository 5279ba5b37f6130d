// Reporting to the system event log under a source.
#include <vk/event_log.h>

#include <stdlib.h>
#include <string.h>

#include "common/bounded_text.h"
#include "common/result_code.h"

namespace Vk {

namespace {

const char kDefaultLogName[] = "Application";

}  // namespace

VkEventLog::VkEventLog() : m_dwEventId(0), m_wCategory(0), m_hEventSource(nullptr) {
  m_szLogName[0] = m_szSourceName[0] = '\0';
}

VkEventLog::VkEventLog(const char* source, const char* log) : VkEventLog() {
  SetSourceName(source);
  SetLogName(log);
}

VkEventLog::~VkEventLog() { CloseEventSource(); }

// Renewals pass the stored name back in; it is not copied onto itself.
void VkEventLog::SetSourceName(const char* name) {
  CloseEventSource();
  if (name != m_szSourceName) CopyBounded(m_szSourceName, name, sizeof m_szSourceName);
}

void VkEventLog::SetLogName(const char* name) {
  CloseEventSource();
  if (name != m_szLogName) CopyBounded(m_szLogName, name, sizeof m_szLogName);
}

const char* VkEventLog::GetLogName() const { return m_szLogName[0] ? m_szLogName : kDefaultLogName; }

void VkEventLog::CloseEventSource() {
  if (m_hEventSource) DeregisterEventSource(m_hEventSource);
  m_hEventSource = nullptr;
}

bool VkEventLog::Report(WORD type, DWORD eventId, WORD category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool reported = ReportV(type, eventId, category, format, args);
  va_end(args);
  return reported;
}

bool VkEventLog::ReportV(WORD type, DWORD eventId, WORD category, const char* format, va_list args) {
  return ReportDataV(type, eventId, category, nullptr, 0, format, args);
}

bool VkEventLog::ReportData(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize,
                            const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool reported = ReportDataV(type, eventId, category, data, dataSize, format, args);
  va_end(args);
  return reported;
}

// The message is formatted once and reported as it stands, so a percent
// sign in the formatted text reaches the event unchanged.
bool VkEventLog::ReportDataV(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize,
                             const char* format, va_list args) {
  if (!m_hEventSource) m_hEventSource = RegisterEventSourceA(nullptr, m_szSourceName);
  if (!m_hEventSource) return false;  // nothing is formatted
  char message[kMessageBufferSize] = {};
  _vsnprintf_s(message, sizeof message, sizeof message - 1, format, args);
  message[sizeof message - 1] = '\0';
  return ReportText(type, eventId, category, data, dataSize, message);
}

bool VkEventLog::ReportWithDefaults(WORD type, const char* format, DWORD argument) {
  return Report(type, m_dwEventId, m_wCategory, format, argument);
}

bool VkEventLog::ReportText(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize,
                            const char* message) {
  PSID user = nullptr;
  if (FAILED(GetProcessUserSid(&user))) user = nullptr;  // reported without a user
  const char* strings[1] = {message};
  BOOL reported = ReportEventA(m_hEventSource, type, category, eventId, user, 1, dataSize, strings,
                               const_cast<BYTE*>(data));
  free(user);
  return reported != FALSE;
}

HRESULT VkEventLog::GetProcessUserSid(PSID* sid) {
  if (!sid) return E_POINTER;
  *sid = nullptr;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return ResultFromErrorCode(static_cast<LONG>(GetLastError()));
  HRESULT result = S_OK;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  TOKEN_USER* user = static_cast<TOKEN_USER*>(malloc(size ? size : 1));
  if (!user) {
    result = E_OUTOFMEMORY;
  } else if (!GetTokenInformation(token, TokenUser, user, size, &size)) {
    result = ResultFromErrorCode(static_cast<LONG>(GetLastError()));
  } else {
    DWORD length = GetLengthSid(user->User.Sid);
    *sid = malloc(length);
    if (!*sid)
      result = E_OUTOFMEMORY;
    else
      CopySid(length, *sid, user->User.Sid);
  }
  free(user);
  CloseHandle(token);
  return result;
}

}  // namespace Vk
