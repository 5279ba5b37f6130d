#include "reg_value.h"

#include <stdio.h>
#include <string.h>

#include "tool_error.h"

namespace vkdiag {

namespace {

struct TypeEntry {
  DWORD type;
  const char* name;
};

const TypeEntry kTypes[] = {
    {REG_NONE, "REG_NONE"},   {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"}, {REG_DWORD, "REG_DWORD"}, {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal or 0x hex without sign, at most `limit`.
bool ParseNumber(const std::string& text, unsigned long long limit, unsigned long long* number) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 20) return false;
  unsigned long long value = 0;
  for (char c : digits) {
    int digit = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return false;
    unsigned long long base = hex ? 16 : 10;
    if (value > (limit - static_cast<unsigned long long>(digit)) / base) return false;
    value = value * base + static_cast<unsigned long long>(digit);
  }
  *number = value;
  return true;
}

}  // namespace

std::string TypeName(DWORD type) {
  for (const TypeEntry& entry : kTypes)
    if (entry.type == type) return entry.name;
  if (type == REG_DWORD_BIG_ENDIAN) return "REG_DWORD_BIG_ENDIAN";
  char name[32];
  snprintf(name, sizeof name, "REG_0x%lX", static_cast<unsigned long>(type));
  return name;
}

DWORD ParseTypeName(const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  for (const TypeEntry& entry : kTypes)
    if (upper == entry.name) return entry.type;
  throw UsageError("unknown value type '" + EscapeControls(name) +
                   "': expected REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE");
}

std::vector<BYTE> ParseValueData(DWORD type, const std::string& text) {
  std::vector<BYTE> data;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      data.assign(text.begin(), text.end());
      data.push_back(0);
      return data;
    case REG_MULTI_SZ: {
      size_t start = 0;
      while (!text.empty()) {
        size_t end = text.find("\\0", start);
        std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        data.insert(data.end(), piece.begin(), piece.end());
        data.push_back(0);
        if (end == std::string::npos) break;
        start = end + 2;
      }
      data.push_back(0);
      return data;
    }
    case REG_DWORD: {
      unsigned long long number = 0;
      if (!ParseNumber(text.empty() ? "0" : text, 0xFFFFFFFFull, &number))
        throw UsageError("invalid REG_DWORD data '" + EscapeControls(text) +
                         "': expected a number from 0 to 4294967295, decimal or 0x hex");
      DWORD dword = static_cast<DWORD>(number);
      data.resize(sizeof dword);
      memcpy(data.data(), &dword, sizeof dword);
      return data;
    }
    case REG_QWORD: {
      unsigned long long number = 0;
      if (!ParseNumber(text.empty() ? "0" : text, ~0ull, &number))
        throw UsageError("invalid REG_QWORD data '" + EscapeControls(text) +
                         "': expected a number from 0 to 18446744073709551615, decimal or 0x hex");
      data.resize(sizeof number);
      memcpy(data.data(), &number, sizeof number);
      return data;
    }
    default: {
      if (text.size() % 2 != 0)
        throw UsageError("invalid " + TypeName(type) + " data '" + EscapeControls(text) +
                         "': expected an even number of hex digits");
      for (size_t i = 0; i < text.size(); i += 2) {
        int high = HexValue(text[i]);
        int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0)
          throw UsageError("invalid " + TypeName(type) + " data '" + EscapeControls(text) +
                           "': expected hex digits 0-9, A-F");
        data.push_back(static_cast<BYTE>(high * 16 + low));
      }
      return data;
    }
  }
}

std::string TextOf(const std::vector<BYTE>& data) {
  if (data.empty()) return std::string();  // an empty vector may have no storage at all
  const char* text = reinterpret_cast<const char*>(data.data());
  return std::string(text, strnlen(text, data.size()));
}

std::vector<std::string> SplitMultiString(const std::vector<BYTE>& data) {
  std::vector<std::string> strings;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = start;
    while (end < data.size() && data[end] != 0) ++end;
    if (end == start) break;  // the empty string that ends the list
    strings.emplace_back(reinterpret_cast<const char*>(data.data()) + start, end - start);
    start = end + 1;
  }
  return strings;
}

std::string HexDigits(const std::vector<BYTE>& data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (BYTE byte : data) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string FormatValueData(const RegValue& value) {
  char number[32];
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return TextOf(value.data);
    case REG_MULTI_SZ: {
      std::string joined;
      for (const std::string& piece : SplitMultiString(value.data)) joined += (joined.empty() ? "" : "\\0") + piece;
      return joined;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:  // shown as the bytes read in the machine's order, as reg shows it
      if (value.data.size() == sizeof(DWORD)) {
        DWORD dword = 0;
        memcpy(&dword, value.data.data(), sizeof dword);
        snprintf(number, sizeof number, "0x%lx", static_cast<unsigned long>(dword));
        return number;
      }
      break;
    case REG_QWORD:
      if (value.data.size() == sizeof(unsigned long long)) {
        unsigned long long qword = 0;
        memcpy(&qword, value.data.data(), sizeof qword);
        snprintf(number, sizeof number, "0x%llx", qword);
        return number;
      }
      break;
    default:
      break;
  }
  return HexDigits(value.data);
}

LONG ReadValue(HKEY key, const std::string& name, RegValue* value) {
  value->name = name;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &value->type, nullptr, &size);
  while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    value->data.resize(size);
    DWORD got = size;
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &value->type, value->data.empty() ? nullptr : value->data.data(),
                          &got);
    if (rc == ERROR_SUCCESS) {
      value->data.resize(got);
      return rc;
    }
    size = got > size ? got : size * 2 + 16;
  }
  return rc;
}

std::vector<RegValue> ReadValues(HKEY key, const std::string& keyName) {
  DWORD maxName = 0;
  DWORD maxData = 0;
  LONG rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                             nullptr, nullptr);
  if (rc != ERROR_SUCCESS) throw SystemError("cannot read " + EscapeControls(keyName), static_cast<DWORD>(rc));
  std::vector<RegValue> values;
  std::vector<char> name(maxName + 2);
  std::vector<BYTE> data(maxData + 2);
  for (DWORD index = 0;;) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {  // a value grew since the count was taken
      name.resize(name.size() * 2);
      data.resize(data.size() * 2 + 64);
      continue;
    }
    if (rc != ERROR_SUCCESS) throw SystemError("cannot read " + EscapeControls(keyName), static_cast<DWORD>(rc));
    RegValue value;
    value.name.assign(name.data(), nameLength);
    value.type = type;
    value.data.assign(data.begin(), data.begin() + dataSize);
    values.push_back(std::move(value));
    ++index;
  }
  return values;
}

std::vector<std::string> ReadSubKeyNames(HKEY key, const std::string& keyName) {
  std::vector<std::string> names;
  std::vector<char> name(512);
  for (DWORD index = 0;;) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG rc = RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      name.resize(name.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) throw SystemError("cannot list " + EscapeControls(keyName), static_cast<DWORD>(rc));
    names.emplace_back(name.data(), length);
    ++index;
  }
  return names;
}

}  // namespace vkdiag
