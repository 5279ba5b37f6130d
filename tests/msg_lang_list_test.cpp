// Loading language modules with the primary-language fallback, on real
// modules built beside this test executable (MsgDEU.LNG, MsgENU.LNG).
#include <vk/msg_lang_list_ex.h>

#include <string>

#include "support/test_support.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace {

std::string TestDirectory() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, static_cast<size_t>(PathFindFileNameA(path) - path));
}

bool IsLoaded(const std::string& path) {
#if defined(_WIN32)
  return GetModuleHandleA(path.c_str()) != nullptr;
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
#endif
}

TEST(MsgLangListTest, DefaultSubLanguages) {
  struct {
    LCID from, to;
  } cases[] = {{0x0807, 0x0407}, {0x0C0A, 0x040A}, {0x10407, 0x0407}, {0x0804, 0x0404}, {0x0409, 0x0409}};
  for (auto c : cases) {
    LCID lcid = c.from;
    CMsgLangListEx::MakeDefaultSubLang(lcid);
    EXPECT_EQ(c.to, lcid) << std::hex << c.from;
  }
}

TEST(MsgLangListTest, SuffixesComeFromTheLocale) {
  CMsgLangListEx list;
  std::string name = "Msg";
  EXPECT_TRUE(list.AppendLangSuffix(0x0807, name));
  EXPECT_EQ("MsgDES.LNG", name);
  name = "Msg";
  EXPECT_FALSE(list.AppendLangSuffix(0x0099, name)) << "no such locale";
  EXPECT_EQ("Msg", name);
}

TEST(MsgLangListTest, FallsBackToThePrimaryLanguageAndFreesThePreviousModuleOnce) {
  std::string directory = TestDirectory();
  std::string english = directory + "MsgENU.LNG";
  std::string german = directory + "MsgDEU.LNG";
  HMODULE module = LoadLibraryA(english.c_str());
  ASSERT_NE(nullptr, module);

  CMsgLangListEx list;
  std::string help = "Msg";
  EXPECT_TRUE(list.AppendHelpSuffix(help)) << "before any load the locale is 0";
  EXPECT_EQ("Msg", help.substr(0, 3));

  std::string name = directory + "Msg";
  EXPECT_FALSE(list.LoadLangModule(name, 0x0411, &module)) << "no Japanese module";
  EXPECT_EQ(directory + "MsgJPN.LNG", name);
  EXPECT_TRUE(IsLoaded(english)) << "a failed load frees nothing";

  name = directory + "Msg";
  ASSERT_TRUE(list.LoadLangModule(name, 0x0807, &module));
  EXPECT_EQ(german, name);
  EXPECT_EQ(0x0407u, list.GetLcid());
  EXPECT_FALSE(IsLoaded(english)) << "the previous module was freed";
  EXPECT_TRUE(IsLoaded(german));
  help = "Msg";
  EXPECT_TRUE(list.AppendHelpSuffix(help));
  EXPECT_EQ("MsgDEU.HLP", help);
  FreeLibrary(module);
  EXPECT_FALSE(IsLoaded(german)) << "freed exactly once: one load, one free";
}

TEST(MsgLangListTest, ModuleDirectoryFormsFullPaths) {
  CMsgLangListEx list;
  HMODULE module = nullptr;
  std::string name;
  EXPECT_FALSE(list.LoadLangModuleFromModuleDir(name, 0x0409, &module)) << "an empty name";
  name = "Msg";
  ASSERT_TRUE(list.LoadLangModuleFromModuleDir(name, 0x0C07, &module));  // Austrian German falls back
  EXPECT_EQ(TestDirectory() + "MsgDEU.LNG", name);
  FreeLibrary(module);
}

}  // namespace
