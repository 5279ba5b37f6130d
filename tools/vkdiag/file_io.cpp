#include "file_io.h"

#include "win32.h"

#include "tool_error.h"

namespace vkdiag {

namespace {

constexpr DWORD kChunk = 64 * 1024;

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw SystemError("cannot open " + EscapeControls(path), GetLastError());
  std::string bytes;
  char chunk[kChunk];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk, kChunk, &got, nullptr)) {
      DWORD error = GetLastError();
      CloseHandle(file);
      throw SystemError("cannot read " + EscapeControls(path), error);
    }
    if (got == 0) break;
    bytes.append(chunk, got);
  }
  CloseHandle(file);
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw SystemError("cannot create " + EscapeControls(path), GetLastError());
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    DWORD piece = static_cast<DWORD>(bytes.size() - done < kChunk ? bytes.size() - done : kChunk);
    if (!WriteFile(file, bytes.data() + done, piece, &wrote, nullptr) || wrote == 0) {
      DWORD error = GetLastError();
      CloseHandle(file);
      throw SystemError("cannot write " + EscapeControls(path), error);
    }
    done += wrote;
  }
  if (!CloseHandle(file)) throw SystemError("cannot write " + EscapeControls(path), GetLastError());
}

}  // namespace vkdiag
