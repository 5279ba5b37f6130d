// Loading modules: LoadLibraryA and FreeLibrary over dlopen and dlclose.
#include <dlfcn.h>
#include <string.h>

#include <string>

#include "kernel/errors.h"
#include "modules/message_tables.h"

namespace {

constexpr int kLoadFlags = RTLD_NOW | RTLD_LOCAL;

std::string ExecutableDirectory() {
  char path[MAX_PATH * 4] = "";
  if (GetModuleFileNameA(nullptr, path, sizeof path) == 0) return std::string();
  return std::string(path, static_cast<size_t>(PathFindFileNameA(path) - path));
}

}  // namespace

// Loads a shared object. A name with a directory is loaded from there; a
// bare name is looked for beside the executable first, as Windows does, and
// then where the dynamic loader looks. A missing or unloadable file fails
// with ERROR_MOD_NOT_FOUND. Each load counts; FreeLibrary releases one.
HMODULE Vk::Win32::LoadLibraryA(LPCSTR lpLibFileName) { return LoadLibraryExA(lpLibFileName, nullptr, 0); }

// With LOAD_LIBRARY_AS_DATAFILE the file is read as a message module
// (message_tables.h) instead of being loaded as code.
HMODULE Vk::Win32::LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  if (!lpLibFileName || !*lpLibFileName || hFile || (dwFlags & ~LOAD_LIBRARY_AS_DATAFILE)) {
    vk_posix::Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string besideExecutable = ExecutableDirectory() + lpLibFileName;
  bool bare = !strchr(lpLibFileName, '/');
  if (dwFlags & LOAD_LIBRARY_AS_DATAFILE) {
    HMODULE table = bare ? vk_posix::LoadMessageTable(besideExecutable) : nullptr;
    // A file beside the executable that is no table is an answer, not a miss.
    if (table || (bare && GetLastError() != ERROR_MOD_NOT_FOUND)) return table;
    return vk_posix::LoadMessageTable(lpLibFileName);
  }
  void* handle = bare ? dlopen(besideExecutable.c_str(), kLoadFlags) : nullptr;
  if (!handle) handle = dlopen(lpLibFileName, kLoadFlags);
  if (!handle) {
    vk_posix::Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return static_cast<HMODULE>(handle);
}

BOOL Vk::Win32::FreeLibrary(HMODULE hLibModule) {
  if (vk_posix::RemoveHandle(reinterpret_cast<HANDLE>(hLibModule))) return TRUE;  // a message module
  if (!hLibModule || dlclose(hLibModule) != 0) return vk_posix::Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

// Only the form that names a module by an address inside it, without
// changing its load count, is supported: the module that holds that code
// (the executable itself when the code is linked into it).
BOOL Vk::Win32::GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
  if (!phModule) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  *phModule = nullptr;
  const DWORD required = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if ((dwFlags & required) != required) return vk_posix::Fail(ERROR_NOT_SUPPORTED);
  Dl_info info;
  if (!dladdr(lpModuleName, &info) || !info.dli_fname) return vk_posix::Fail(ERROR_MOD_NOT_FOUND);
  void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (handle) {
    dlclose(handle);  // the count stays as it was; the module stays loaded
  } else {
    handle = dlopen(nullptr, RTLD_NOW);  // the executable has no name of its own to the loader
  }
  *phModule = static_cast<HMODULE>(handle);
  return handle ? TRUE : vk_posix::Fail(ERROR_MOD_NOT_FOUND);
}
