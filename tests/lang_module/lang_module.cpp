// A stand-in language resource module: tells which language it is.
#if defined(_WIN32)
#define VK_EXPORT extern "C" __declspec(dllexport)
#else
#define VK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

VK_EXPORT const char* vk_lang_module_language() { return VK_LANG_ABBREVIATION; }
