// Construction, paths, options and the file's open/close cycle.
#include <vk/log_file.h>
#include <vk/log_file_opener.h>

#include <string.h>

#include "common/bounded_text.h"

namespace Vk {

namespace {

// Another writer holds the file for one operation only; its open fails
// meanwhile. Retrying for about half a second keeps a text from being lost
// to contention, where several writers each flush to disk before they let
// go, without stalling for long on a writer that keeps the file open. The
// bound counts chances as well as time: on a loaded machine a process may
// be descheduled for tens of milliseconds, and time it did not run must not
// use up its chances. A chance is an attempt, or a pause's worth of time
// spent inside a refused open: a platform may keep a writer that asks again
// in line inside the open until the file is free, and that time was all
// chances. The first retry comes at once, so that such a writer is in line
// before the holder lets go.
constexpr DWORD kOpenRetryBudgetMs = 500;
constexpr DWORD kOpenRetryAttempts = 500;
constexpr DWORD kOpenRetryPauseMs = 1;

const char kDefaultLogName[] = "Default.log";
const char kDefaultLogExtension[] = "Log";

}  // namespace

VkLogFile::VkLogFile(bool enabled) {
  Initialise(enabled, VKLF_DEFAULT);
  SetDefaultPath(nullptr);
}

VkLogFile::VkLogFile(const char* path, bool enabled, DWORD options) {
  Initialise(enabled, options);
  if (path)
    SetFullPath(path);
  else
    SetDefaultPath(nullptr);
}

VkLogFile::~VkLogFile() {
  if (HasOptions(VKLF_BANNER)) Write("Log %s stopped.", m_szFullPath);
  Close();
  delete[] m_pszFormatBuffer;
}

void VkLogFile::Initialise(bool enabled, DWORD options) {
  m_bEnabled = enabled;
  m_hFile = nullptr;
  m_dwOptions = 0;
  m_szDirectory[0] = m_szFileName[0] = m_szFullPath[0] = '\0';
  m_pszFormatBuffer = nullptr;
  m_dwFormatBufferSize = 256;
  m_dwGrowthBudget = 10;
  m_bStartPending = true;
  SetSizeLimits(kNoLimit, kNoLimit);
  m_szProcessPath[0] = '\0';
  GetModuleFileNameA(nullptr, m_szProcessPath, sizeof m_szProcessPath);
  m_szProcessPath[sizeof m_szProcessPath - 1] = '\0';
  CopyBounded(m_szProcessName, PathFindFileNameA(m_szProcessPath), sizeof m_szProcessName);
  SetOptions(options);
  m_pszMethodName = nullptr;
}

bool VkLogFile::OpenForOperationAtStart() {
  VkLogFileOpener opener(*this);
  return opener.Open(true);
}

// A path operation first closes the file held under the old path, so that
// the empty-file rule applies to that file, and a path that is refused
// leaves the writer holding nothing.
bool VkLogFile::SetFullPath(const char* path) {
  Close();
  m_bStartPending = true;
  // Cut, a path that does not fit would name another file: it is refused
  // (empty full path, so nothing is opened) and nothing of it is kept.
  if (path && strlen(path) >= sizeof m_szFullPath) {
    m_szFullPath[0] = '\0';
    return false;
  }
  CopyBounded(m_szFullPath, path, sizeof m_szFullPath);
  char copy[kTextBufferSize];
  CopyBounded(copy, path, sizeof copy);
  char* name = PathFindFileNameA(copy);
  if (name != copy) {
    CopyBounded(m_szFileName, name, sizeof m_szFileName);
    *name = '\0';
    CopyBounded(m_szDirectory, copy, sizeof m_szDirectory);
  } else {
    // A bare file name lives in the current directory.
    CopyBounded(m_szFileName, copy, sizeof m_szFileName);
    m_szDirectory[0] = '\0';
  }
  PathAddBackslashA(m_szDirectory);
  return OpenForOperationAtStart();
}

bool VkLogFile::SetDirectory(const char* directory) {
  CopyBounded(m_szDirectory, directory, sizeof m_szDirectory);
  return SetFileName(m_szFileName);
}

bool VkLogFile::SetFileName(const char* name) {
  Close();
  // A name that does not fit its field is not kept: cut, it would name
  // another file.
  bool nameFits = !name || strlen(name) < sizeof m_szFileName;
  if (nameFits && name != m_szFileName) CopyBounded(m_szFileName, name, sizeof m_szFileName);
  // Such a name, a directory that cannot take its separator, or a directory
  // and name that together do not fit, are refused (empty full path, so
  // nothing is opened) rather than glued or cut into another file's name.
  bool separated = PathAddBackslashA(m_szDirectory) != nullptr;
  if (!nameFits || !separated || strlen(m_szDirectory) + strlen(m_szFileName) >= sizeof m_szFullPath) {
    m_szFullPath[0] = '\0';
  } else {
    CopyBounded(m_szFullPath, m_szDirectory, sizeof m_szFullPath);
    AppendBounded(m_szFullPath, m_szFileName, sizeof m_szFullPath);
  }
  m_bStartPending = true;
  return OpenForOperationAtStart();
}

bool VkLogFile::SetDefaultPath(HMODULE module) {
  char path[kTextBufferSize] = "";
  if (GetModuleFileNameA(module, path, sizeof path) == 0) path[0] = '\0';
  path[sizeof path - 1] = '\0';
  if (path[0] == '\0') return SetFullPath(kDefaultLogName);
  char* extension = PathFindExtensionA(path);
  if (*extension == '.') extension[1] = '\0';
  AppendBounded(path, kDefaultLogExtension, sizeof path);
  return SetFullPath(path);
}

void VkLogFile::SetOptions(DWORD options) {
  bool hadNewFile = HasOptions(VKLF_NEWFILE);
  m_dwOptions = options;
  if (HasOptions(VKLF_NEWFILE) && !hadNewFile) {
    Close();
    OpenForOperationAtStart();
  }
}

void VkLogFile::ChangeOptions(DWORD clear, DWORD set) { SetOptions(set | (m_dwOptions & ~clear)); }

void VkLogFile::SetEnabled(bool on) {
  m_bEnabled = on;
  if (on)
    OpenForOperationAtStart();
  else
    Close();
}

bool VkLogFile::Restart() {
  m_bStartPending = true;
  return OpenForOperationAtStart();
}

bool VkLogFile::Open(bool atStart) {
  if (!m_bEnabled) return true;
  Close();
  DWORD disposition = OPEN_ALWAYS;
  if (atStart && HasOptions(VKLF_NEWFILE)) {
    disposition = CREATE_NEW;
    if (PathFileExistsA(m_szFullPath)) DeleteFileA(m_szFullPath);
  }
  HANDLE file = OpenWithRetry(disposition);
  m_hFile = file == INVALID_HANDLE_VALUE ? nullptr : file;
  if (IsOpen()) {
    if (atStart) TrimToSizeLimit();
    SetFilePointer(m_hFile, 0, nullptr, FILE_END);
  }
  return IsOpen();
}

HANDLE VkLogFile::OpenWithRetry(DWORD disposition) const {
  const DWORD started = GetTickCount();
  DWORD chances = 0;
  for (DWORD attempt = 1;; ++attempt) {
    const DWORD attemptStarted = GetTickCount();
    HANDLE file = CreateFileA(m_szFullPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return file;
    const DWORD now = GetTickCount();
    chances += 1 + (now - attemptStarted) / kOpenRetryPauseMs;
    if (chances >= kOpenRetryAttempts && now - started >= kOpenRetryBudgetMs) return file;
    if (attempt > 1) Sleep(kOpenRetryPauseMs);
  }
}

bool VkLogFile::Close() {
  if (IsOpen()) {
    FlushFileBuffers(m_hFile);
    SetLastError(NO_ERROR);
    DWORD high = 0;
    DWORD low = GetFileSize(m_hFile, &high);
    bool sizeKnown = GetLastError() == NO_ERROR;
    CloseHandle(m_hFile);
    m_hFile = nullptr;
    if (sizeKnown && low == 0 && high == 0) DeleteIfStillEmpty();
  }
  return !IsOpen();
}

// The size seen before closing may be stale by now: another writer may have
// opened the file and written to it. So the file is reopened with no
// sharing except delete, which keeps every other writer out, and deleted
// only when it is still empty while that handle holds it.
void VkLogFile::DeleteIfStillEmpty() const {
  HANDLE file = CreateFileA(m_szFullPath, GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;  // in use or gone: not ours to delete
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(file, &high);
  if (GetLastError() == NO_ERROR && low == 0 && high == 0) DeleteFileA(m_szFullPath);
  CloseHandle(file);
}

}  // namespace Vk
