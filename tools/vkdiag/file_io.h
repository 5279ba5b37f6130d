// Whole-file reads and writes through CreateFileA/ReadFile/WriteFile.
#ifndef VKDIAG_FILE_IO_H
#define VKDIAG_FILE_IO_H

#include <string>

namespace vkdiag {

// Both throw a SystemError naming the file.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace vkdiag

#endif  // VKDIAG_FILE_IO_H
