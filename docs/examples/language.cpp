// Loading the language module of a locale, with the fallback to its
// primary language. Beside this program lies ExampleDEU.LNG (German as used
// in Germany) and no other.
#include <vk/msg_lang_list_ex.h>

#include <stdio.h>

#include <string>

using namespace Vk::Win32;  // HMODULE, LCID, FreeLibrary

// One instance per component, kept for the module's life.
static CMsgLangListEx g_languages;

static void Load(LCID locale, HMODULE* module) {
  std::string name = "Example";  // the bare base name, every time
  bool loaded = g_languages.LoadLangModuleFromModuleDir(name, locale, module);
  // The name now holds a full path: show only its file name.
  printf("locale 0x%04lX: %s %s", static_cast<unsigned long>(locale), loaded ? "loaded" : "not loaded",
         name.substr(name.find_last_of("\\/") + 1).c_str());
  if (loaded) printf(" for locale 0x%04lX", static_cast<unsigned long>(g_languages.GetLcid()));
  printf("\n");
}

int main() {
  HMODULE module = nullptr;  // the caller's: each successful load frees the one it held
  Load(0x0407, &module);     // German (Germany): ExampleDEU.LNG
  Load(0x0807, &module);     // German (Switzerland): no ExampleDES.LNG, falls back to 0x0407
  Load(0x0409, &module);     // English (United States): no ExampleENU.LNG; the German one stays loaded

  std::string help = "Example";
  g_languages.AppendHelpSuffix(help);  // the locale last loaded
  printf("help file: %s\n", help.c_str());

  LCID fallback = 0x0C0A;  // Spanish (Spain, modern sort)
  CMsgLangListEx::MakeDefaultSubLang(fallback);
  printf("fallback of 0x0C0A: 0x%04lX\n", static_cast<unsigned long>(fallback));
  if (module) FreeLibrary(module);  // the loader frees nothing
  return 0;
}
