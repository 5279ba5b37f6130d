// How the registry and the event log compare names without case.
#ifndef VK_PLATFORM_POSIX_TEXT_NAME_FOLD_H
#define VK_PLATFORM_POSIX_TEXT_NAME_FOLD_H

#include <string>

namespace vk_posix {

// The form under which a key, value or log name is stored and looked up:
// ASCII letters in lower case, every other byte as it is. The same in every
// process, whatever its locale: the locale's tolower() would fold the upper
// half in a Latin-1 locale and not in "C" or UTF-8, so processes in
// different locales would miss each other's names. Bytes from 0x80 up are
// parts of UTF-8 sequences in the layer's code page and are compared
// exactly; folding them would need Windows' Unicode case table, and would
// no longer find the names that earlier versions stored under this form.
inline std::string FoldName(const char* name) {
  std::string folded = name ? name : "";
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_TEXT_NAME_FOLD_H
