// A language resource module of the example: ExampleDEU.LNG. A real one
// holds the component's texts in one language; this one only names it.
#if defined(_WIN32)
#define EXAMPLE_EXPORT extern "C" __declspec(dllexport)
#else
#define EXAMPLE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

EXAMPLE_EXPORT const char* example_language() { return "German"; }
