// Loading modules: LoadLibraryA and FreeLibrary over dlopen and dlclose.
#include <dlfcn.h>
#include <string.h>

#include <string>

#include "errors.h"

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
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    vk_posix::Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* handle = nullptr;
  if (!strchr(lpLibFileName, '/')) {
    std::string besideExecutable = ExecutableDirectory() + lpLibFileName;
    handle = dlopen(besideExecutable.c_str(), kLoadFlags);
  }
  if (!handle) handle = dlopen(lpLibFileName, kLoadFlags);
  if (!handle) {
    vk_posix::Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return static_cast<HMODULE>(handle);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (!hLibModule || dlclose(hLibModule) != 0) return vk_posix::Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

// Only the form that names a module by an address inside it, without
// changing its load count, is supported: the module that holds that code
// (the executable itself when the code is linked into it).
BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
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
