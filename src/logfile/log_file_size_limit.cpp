// The size limit: a file found too large at an open at start keeps its tail.
#include <vk/log_file.h>

#include <stdint.h>

namespace Vk {

namespace {

constexpr DWORD kCopyChunkSize = 4096;
const char kTempPrefix[] = "CLF";

}  // namespace

void VkLogFile::SetSizeLimits(DWORD keptSize, DWORD maximumSize) {
  m_dwKeptSize = keptSize;
  m_dwMaximumSize = maximumSize;
  if (keptSize != kNoLimit && maximumSize != kNoLimit) OpenForOperationAtStart();
}

// The whole file is copied aside first, so the log file itself is rewritten
// in place from its own former tail and its handle stays the one held.
void VkLogFile::TrimToSizeLimit() {
  if (!IsOpen()) return;
  // The whole size: a file of 4 GiB or more is not measured by its low part.
  uint64_t size = 0;
  bool sizeKnown = false;
  if (m_dwKeptSize != kNoLimit && m_dwMaximumSize != kNoLimit && m_dwKeptSize != 0) {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(m_hFile, &high);
    sizeKnown = low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
    size = (static_cast<uint64_t>(high) << 32) | low;
  }
  if (!sizeKnown || size <= m_dwMaximumSize) {
    SetFilePointer(m_hFile, 0, nullptr, FILE_END);
    return;
  }

  char tempDirectory[MAX_PATH];
  char tempFile[MAX_PATH];
  DWORD length = GetTempPathA(sizeof tempDirectory, tempDirectory);
  if (length == 0 || length >= sizeof tempDirectory || GetTempFileNameA(tempDirectory, kTempPrefix, 0, tempFile) == 0) {
    SetFilePointer(m_hFile, 0, nullptr, FILE_END);
    return;
  }
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (CopyFileA(m_szFullPath, tempFile, FALSE))
    copy = CreateFileA(tempFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (copy == INVALID_HANDLE_VALUE) {
    DeleteFileA(tempFile);
    SetFilePointer(m_hFile, 0, nullptr, FILE_END);
    return;
  }

  // A kept size above the file size keeps the whole file.
  DWORD kept = m_dwKeptSize < size ? m_dwKeptSize : static_cast<DWORD>(size);
  SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN);
  uint64_t offset = size - kept;
  LONG offsetHigh = static_cast<LONG>(offset >> 32);
  SetFilePointer(copy, static_cast<LONG>(static_cast<DWORD>(offset)), &offsetHigh, FILE_BEGIN);
  char chunk[kCopyChunkSize];
  DWORD moved = 0;  // bytes of the front already overwritten
  bool whole = true;
  for (DWORD remaining = kept; remaining > 0;) {
    DWORD read = 0;
    DWORD written = 0;
    if (!ReadFile(copy, chunk, remaining < kCopyChunkSize ? remaining : kCopyChunkSize, &read, nullptr) || read == 0) {
      whole = false;
      break;
    }
    bool wrote = WriteFile(m_hFile, chunk, read, &written, nullptr) && written == read;
    moved += written;
    if (!wrote) {
      whole = false;
      break;
    }
    remaining -= read;
  }
  // Cut after part of the tail, the file would lose its newest texts. Where
  // the tail could not be moved whole (a full disk where overwriting takes
  // new blocks), the front goes back from the copy instead, into blocks
  // that now exist, and the file stays as it was until the next trim.
  if (whole) {
    SetEndOfFile(m_hFile);
  } else if (SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN) == 0 && SetFilePointer(copy, 0, nullptr, FILE_BEGIN) == 0) {
    for (DWORD remaining = moved; remaining > 0;) {
      DWORD read = 0;
      DWORD written = 0;
      if (!ReadFile(copy, chunk, remaining < kCopyChunkSize ? remaining : kCopyChunkSize, &read, nullptr) ||
          read == 0 || !WriteFile(m_hFile, chunk, read, &written, nullptr) || written != read)
        break;
      remaining -= read;
    }
  }
  // Until the log file is on disk, the copy holds the only intact tail, so
  // it goes last.
  FlushFileBuffers(m_hFile);
  CloseHandle(copy);
  DeleteFileA(tempFile);
  SetFilePointer(m_hFile, 0, nullptr, FILE_END);
}

}  // namespace Vk
