// CMsgLangListEx: loads the language resource module of a locale, falling
// back to its primary language's default variant, and forms the matching
// help-file name. Modules are named base name + the locale's three-letter
// language abbreviation + ".LNG" (help files: ".HLP").
#ifndef VK_MSG_LANG_LIST_EX_H
#define VK_MSG_LANG_LIST_EX_H

#include <vk/platform.h>

#include <string>

class CMsgLangListEx {
 public:
  CMsgLangListEx() : m_lcid(0) {}
  virtual ~CMsgLangListEx() {}  // frees nothing: the caller owns the module

  CMsgLangListEx(const CMsgLangListEx&) = delete;
  CMsgLangListEx& operator=(const CMsgLangListEx&) = delete;

  // Loads name + abbreviation + ".LNG" for the locale, or for its fallback.
  // On success the module the variable held is freed, the new one stored
  // and the name holds the file loaded; otherwise the name holds the last
  // file tried and the variable keeps its module.
  bool LoadLangModule(std::string& name, Vk::LCID lcid, Vk::HMODULE* module);
  // The same, looking only in the directory of the module holding this
  // library; the name then holds a full path.
  bool LoadLangModuleFromModuleDir(std::string& name, Vk::LCID lcid, Vk::HMODULE* module);

  bool AppendLangSuffix(Vk::LCID lcid, std::string& name) const;
  bool AppendHelpSuffix(std::string& name) const;
  static void MakeDefaultSubLang(Vk::LCID& lcid);

  Vk::LCID GetLcid() const { return m_lcid; }

 private:
  bool LoadCandidates(const std::string& directory, std::string& name, Vk::LCID lcid, Vk::HMODULE* module);
  bool AppendSuffix(Vk::LCID lcid, const char* extension, std::string& name) const;

  Vk::LCID m_lcid;
};

#endif  // VK_MSG_LANG_LIST_EX_H
