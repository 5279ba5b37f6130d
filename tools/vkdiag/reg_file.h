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
// Where the editor would lose data, the value is written as hex instead,
// which it reads back whole: a REG_DWORD of another size than 4 bytes as
// hex(4):, a REG_SZ with a NUL inside or none at its end as hex(1):.
std::string WriteRegFile(const std::vector<RegFileKey>& keys, RegFileFormat format);

// Parses a whole file (either form) as the registry editor reads it; what
// the editor would skip, a syntax error or a name, length or depth beyond
// Windows' limits throws a usage error naming the file, the line and what
// was expected. Lines the editor reads with a warning (an unknown escape)
// add one to `warnings` when given.
std::vector<RegFileKey> ReadRegFile(const std::string& bytes, const std::string& fileName,
                                    std::vector<std::string>* warnings = nullptr);

}  // namespace vkdiag

#endif  // VKDIAG_REG_FILE_H
