// The contents of a .reg file as the registry editor writes and reads it,
// with values in the form the A functions take (texts in the ANSI code
// page, ended by NUL).
#ifndef VKDIAG_REG_FILE_H
#define VKDIAG_REG_FILE_H

#include <string>
#include <vector>

#include "key_path.h"
#include "reg_value.h"

namespace vkdiag {

enum class RegFileFormat {
  kVersion5,  // "Windows Registry Editor Version 5.00", UTF-16LE with BOM
  kRegedit4,  // "REGEDIT4", ANSI
};

struct RegFileValue {
  RegValue value;
  bool remove = false;  // "name"=-
};

struct RegFileKey {
  KeyPath path;
  bool remove = false;  // [-KEY]
  std::vector<RegFileValue> values;
};

// The whole file, byte for byte as the registry editor writes it: header,
// keys in the given order, CRLF line ends, hex data wrapped at its width.
std::string WriteRegFile(const std::vector<RegFileKey>& keys, RegFileFormat format);

// Parses a whole file (either form); a syntax error throws a usage error
// naming the file, the line and what was expected.
std::vector<RegFileKey> ReadRegFile(const std::string& bytes, const std::string& fileName);

}  // namespace vkdiag

#endif  // VKDIAG_REG_FILE_H
