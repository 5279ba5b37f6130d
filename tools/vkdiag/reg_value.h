// Registry values as the ANSI calls see them, and their type names.
#ifndef VKDIAG_REG_VALUE_H
#define VKDIAG_REG_VALUE_H

#include "win32.h"

#include <string>
#include <vector>

namespace vkdiag {

struct RegValue {
  std::string name;  // empty for the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// REG_SZ and the others as reg names them (REG_DWORD_BIG_ENDIAN too);
// unknown codes as REG_0x1234 (what reg prints is not fixed for those, a
// number is what an operator can use).
std::string TypeName(DWORD type);
// Throws a usage error for a name that is not one of the types add accepts.
DWORD ParseTypeName(const std::string& name);

// The data of a -d argument for a type: REG_MULTI_SZ splits at \0,
// REG_DWORD and REG_QWORD take decimal or 0x hex, REG_BINARY and REG_NONE
// hex digits. Throws a usage error naming what was expected.
std::vector<BYTE> ParseValueData(DWORD type, const std::string& text);

// The data as reg query prints it: texts as they are (MULTI_SZ joined
// with \0), DWORD and QWORD as 0x hex, everything else as hex digits.
std::string FormatValueData(const RegValue& value);
// The strings of a REG_MULTI_SZ, without the empty one that ends the list.
std::vector<std::string> SplitMultiString(const std::vector<BYTE>& data);
// A REG_SZ or REG_EXPAND_SZ up to its first NUL.
std::string TextOf(const std::vector<BYTE>& data);
std::string HexDigits(const std::vector<BYTE>& data);

// All values of an open key in enumeration order; throws on failure.
std::vector<RegValue> ReadValues(HKEY key, const std::string& keyName);
// The names of the subkeys of an open key in enumeration order.
std::vector<std::string> ReadSubKeyNames(HKEY key, const std::string& keyName);
// One value; returns the Win32 code.
LONG ReadValue(HKEY key, const std::string& name, RegValue* value);

}  // namespace vkdiag

#endif  // VKDIAG_REG_VALUE_H
