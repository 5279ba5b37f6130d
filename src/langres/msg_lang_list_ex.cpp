// Finding and loading language resource modules.
#include <vk/msg_lang_list_ex.h>

using namespace Vk::Win32;

namespace {

constexpr int kAbbreviationSize = 6;  // three letters and room to spare, terminator included
constexpr DWORD kModulePathSize = 517;
const char kModuleExtension[] = ".LNG";
const char kHelpExtension[] = ".HLP";

// The directory of the module that holds this library, with its trailing
// separator; empty when the module's path cannot be had.
std::string ThisModuleDirectory() {
  HMODULE self = nullptr;
  static const char kAnchor = 0;
  char path[kModulePathSize] = "";
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         &kAnchor, &self))
    GetModuleFileNameA(self, path, kModulePathSize);
  path[kModulePathSize - 1] = '\0';
  if (!path[0]) return std::string();
  return std::string(path, static_cast<size_t>(PathFindFileNameA(path) - path));
}

}  // namespace

void CMsgLangListEx::MakeDefaultSubLang(LCID& lcid) { lcid = 0x0400 | (lcid & 0xFF); }

bool CMsgLangListEx::AppendSuffix(LCID lcid, const char* extension, std::string& name) const {
  char abbreviation[kAbbreviationSize] = "";
  if (GetLocaleInfoA(lcid, LOCALE_SABBREVLANGNAME, abbreviation, kAbbreviationSize) == 0) return false;
  name += abbreviation;
  name += extension;
  return true;
}

bool CMsgLangListEx::AppendLangSuffix(LCID lcid, std::string& name) const {
  return AppendSuffix(lcid, kModuleExtension, name);
}

bool CMsgLangListEx::AppendHelpSuffix(std::string& name) const { return AppendSuffix(m_lcid, kHelpExtension, name); }

bool CMsgLangListEx::LoadLangModule(std::string& name, LCID lcid, HMODULE* module) {
  if (name.empty()) return false;
  return LoadCandidates(std::string(), name, lcid, module);
}

bool CMsgLangListEx::LoadLangModuleFromModuleDir(std::string& name, LCID lcid, HMODULE* module) {
  std::string directory = ThisModuleDirectory();
  if (name.empty()) return false;
  return LoadCandidates(directory, name, lcid, module);
}

// Tries the locale, then its primary language's default variant. The new
// module is loaded before the previous one is freed.
bool CMsgLangListEx::LoadCandidates(const std::string& directory, std::string& name, LCID lcid, HMODULE* module) {
  std::string candidate;
  LCID attempts[2] = {lcid, lcid};
  MakeDefaultSubLang(attempts[1]);
  for (LCID attempt : attempts) {
    candidate = directory + name;
    if (!AppendLangSuffix(attempt, candidate)) continue;
    HMODULE loaded = LoadLibraryA(candidate.c_str());
    if (!loaded) continue;
    m_lcid = attempt;
    if (*module) FreeLibrary(*module);
    *module = loaded;
    name = candidate;
    return true;
  }
  name = candidate;
  return false;
}
