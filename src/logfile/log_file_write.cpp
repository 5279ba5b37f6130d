// Formatting texts and appending them, with prefix, banner and line end.
#include <vk/log_file.h>
#include <vk/log_file_opener.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "common/bounded_text.h"

namespace Vk {

namespace {

constexpr size_t kPrefixBufferSize = 1000;
constexpr size_t kBannerBufferSize = 1000;
constexpr size_t kDateBufferSize = 64;
constexpr size_t kTimeBufferSize = 64;
constexpr size_t kStampBufferSize = 128;

const char kPieceSeparator[] = " : ";
const char kBannerLine[] = "-------------------------------------------------";
const char kLineEnd[] = "\r\n";

bool WriteAllBytes(HANDLE file, const char* text, size_t length) {
  DWORD written = 0;
  if (length == 0) return true;
  if (!WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr)) return false;
  // A file write that stops short without an error has run out of room.
  if (written != length) SetLastError(ERROR_DISK_FULL);
  return written == length;
}

// Where the file pointer is, so a text that does not fit can be taken back.
struct FilePosition {
  bool bKnown;
  LONG lLow;
  LONG lHigh;
};

FilePosition CurrentPosition(HANDLE file) {
  FilePosition position = {false, 0, 0};
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(file, 0, &position.lHigh, FILE_CURRENT);
  position.bKnown = low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
  position.lLow = static_cast<LONG>(low);
  return position;
}

// Cuts the file back to where a failed text began, so that no torn line is
// left for the next text to be glued onto. The caller keeps the error of
// the write that failed, not that of the cut.
void TakeBackTo(HANDLE file, FilePosition position) {
  DWORD error = GetLastError();
  if (position.bKnown) {
    LONG high = position.lHigh;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(file, position.lLow, &high, FILE_BEGIN);
    if (low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR) SetEndOfFile(file);
  }
  SetLastError(error);
}

}  // namespace

bool VkLogFile::Write(const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool written = WriteV(format, args);
  va_end(args);
  return written;
}

// The length the text needs is found once; the buffer then doubles to it
// within its growth budget and the text is formatted once, cut to the
// buffer when the budget runs out. Formatting again at every step made a
// format like "%999999999d" cost ten full passes.
bool VkLogFile::WriteV(const char* format, va_list args) {
  if (!m_bEnabled) return true;
  va_list counting;
  va_copy(counting, args);
  int needed = vsnprintf(nullptr, 0, format, counting);
  va_end(counting);
  // A format the runtime cannot produce gets the largest buffer, as cut text.
  size_t length = needed < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(needed);
  while (length >= m_dwFormatBufferSize && m_dwGrowthBudget > 1) {
    delete[] m_pszFormatBuffer;
    m_pszFormatBuffer = nullptr;
    m_dwFormatBufferSize *= 2;
    --m_dwGrowthBudget;
  }
  if (!m_pszFormatBuffer) m_pszFormatBuffer = new char[m_dwFormatBufferSize]();
  _vsnprintf_s(m_pszFormatBuffer, m_dwFormatBufferSize, m_dwFormatBufferSize - 1, format, args);
  return WriteLine(m_pszFormatBuffer);
}

bool VkLogFile::WriteLine(const char* text) {
  if (!m_bEnabled) return true;
  VkLogFileOpener opener(*this);
  if (!opener.Open(false)) return false;  // lost; the banner stays pending
  bool written = true;
  if (m_bStartPending) {
    if (HasOptions(VKLF_BANNER)) {
      char started[kBannerBufferSize];
      snprintf(started, sizeof started, "Log %s started.", m_szFullPath);
      written = WriteRaw(kBannerLine) && WriteRaw(started);
    }
    m_bStartPending = false;
  }
  return WriteRaw(text) && written;
}

bool VkLogFile::WriteRaw(const char* text) {
  if (!m_bEnabled || !IsOpen()) return true;
  char prefix[kPrefixBufferSize];
  BuildPrefix(prefix, sizeof prefix);
  size_t length = strlen(text);
  bool lineEndDue = HasOptions(VKLF_CRLF) && length >= 2 && text[length - 1] != '\n' && text[length - 1] != '\r';
  // The line is written in one piece: a writer killed between pieces would
  // leave its line open, and the next writer's text would run into it.
  std::string line;
  line.reserve(strlen(prefix) + length + 2);
  line.append(prefix).append(text, length);
  if (lineEndDue) line.append(kLineEnd);
  // The text reaches the file whole or not at all: a write that fails takes
  // the file back to its size before.
  FilePosition start = CurrentPosition(m_hFile);
  bool written = WriteAllBytes(m_hFile, line.data(), line.size()) && FlushFileBuffers(m_hFile);
  if (!written) TakeBackTo(m_hFile, start);
  return written;
}

void VkLogFile::BuildPrefix(char* prefix, size_t size) const {
  prefix[0] = '\0';
  if (HasOptions(VKLF_MODULE)) {
    AppendBounded(prefix, HasOptions(VKLF_MODULEPATH) ? m_szProcessPath : m_szProcessName, size);
    AppendBounded(prefix, kPieceSeparator, size);
  }
  if (HasOptions(VKLF_TIMESTAMP)) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[kDateBufferSize] = "";
    char time[kTimeBufferSize] = "";
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
    char stamp[kStampBufferSize];
    snprintf(stamp, sizeof stamp, "%s %s", date, time);
    AppendBounded(prefix, stamp, size);
    AppendBounded(prefix, kPieceSeparator, size);
  }
  if (HasOptions(VKLF_METHOD) && m_pszMethodName) {
    AppendBounded(prefix, m_pszMethodName, size);
    AppendBounded(prefix, kPieceSeparator, size);
  }
}

}  // namespace Vk
