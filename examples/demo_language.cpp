// A language resource module for the demo: it only tells its language.
#define VK_EXPORT extern "C" __attribute__((visibility("default")))

VK_EXPORT const char* demo_language() { return DEMO_LANGUAGE; }
