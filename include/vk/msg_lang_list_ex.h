/// \file
/// CMsgLangListEx: loads the language resource module of a locale, falling
/// back to its primary language's default variant, and forms the matching
/// help-file name. Modules are named base name + the locale's three-letter
/// language abbreviation + ".LNG" (help files: ".HLP").

#ifndef VK_MSG_LANG_LIST_EX_H
#define VK_MSG_LANG_LIST_EX_H

#include <vk/platform.h>

#include <string>

/// Finds and loads the language resource module of a locale: the base
/// name, the locale's three-letter abbreviation (GetLocaleInfoA with
/// LOCALE_SABBREVLANGNAME: `DEU` for 0x0407, `DES` for 0x0807, `ENU` for
/// 0x0409) and `.LNG`, for example `MsgDEU.LNG`. When the locale has no
/// module, its primary language's default variant is tried (0x0807 falls
/// back to 0x0407). A module is loaded with LoadLibraryA: on Linux it is a
/// shared object (dlopen), on Windows a DLL.
///
/// The loaded module is the caller's: the caller keeps a module-handle
/// variable (null when none is loaded) and passes it to every load; a
/// successful load frees the module the variable held and stores the new
/// one; the caller frees the last one with FreeLibrary(). Pass the bare base
/// name every time: nothing strips an earlier suffix.
///
/// **Errors.** Results are booleans; no text is reported. After a failed
/// load the name holds the last file tried and X
/// code.
///
/// **Blocking.** A load reads the module from disk on the calling thread.
///
/// **Threads.** An object and the caller's handle variable are for one
/// thread at a time. A component usually keeps one object as a static.
class CMsgLangListEx {
 public:
  /// No locale loaded yet (GetLcid() is 0).
  CMsgLangListEx() : m_lcid(0) {}
  /// Frees nothing: the caller owns the module.
  virtual ~CMsgLangListEx() {}

  CMsgLangListEx(const CMsgLangListEx&) = delete;
  CMsgLangListEx& operator=(const CMsgLangListEx&) = delete;

  /// Loads name + abbreviation + `.LNG` for the locale, or else for its
  /// fallback (MakeDefaultSubLang()); a name without directory is found by
  /// the loader's own search. On success the module the variable held is
  /// freed (after the new one is loaded), the new one stored, GetLcid()
  /// becomes the locale loaded and the name holds the file loaded.
  /// Otherwise the name holds the last file tried and the variable keeps
  /// its module. An empty name fails at once.
  bool LoadLangModule(std::string& name, Vk::LCID lcid, Vk::HMODULE* module);
  /// LoadLangModule() looking only in the directory of the module that
  /// holds this library: the program itself when it links vkdiag
  /// statically, the directory of `libvkdiag.so` when it links the shared
  /// library. The name then holds a full path.
  bool LoadLangModuleFromModuleDir(std::string& name, Vk::LCID lcid, Vk::HMODULE* module);

  /// Appends the locale's abbreviation and `.LNG` to the name; false, the
  /// name unchanged, when the locale has no abbreviation.
  bool AppendLangSuffix(Vk::LCID lcid, std::string& name) const;
  /// Appends the abbreviation of the locale last loaded (GetLcid(), 0
  /// before any load) and `.HLP`; false, the name unchanged, when it has none.
  bool AppendHelpSuffix(std::string& name) const;
  /// The fallback locale: `0x0400 | (lcid & 0xFF)`, the primary language
  /// with the default sub-language (0x0807 gives 0x0407, 0x0C0A gives 0x040A).
  static void MakeDefaultSubLang(Vk::LCID& lcid);

  /// The locale of the last successful load through this object; 0 before.
  Vk::LCID GetLcid() const { return m_lcid; }

 private:
  bool LoadCandidates(const std::string& directory, std::string& name, Vk::LCID lcid, Vk::HMODULE* module);
  bool AppendSuffix(Vk::LCID lcid, const char* extension, std::string& name) const;

  Vk::LCID m_lcid;
};

#endif  // VK_MSG_LANG_LIST_EX_H
