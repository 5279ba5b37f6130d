// Writes .reg files the way the registry editor does, so that the bytes of
// an export equal the editor's own: hex data continues with "\" once a line
// reaches the editor's width, DWORDs are dword:%08x, texts escape \ " CR
// and LF, and in the version 5 form texts and the hex of string types are
// UTF-16LE.
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "reg_file.h"
#include "text_encoding.h"

namespace vkdiag {

namespace {

// A hex line is continued once it has reached this many characters.
constexpr size_t kHexLineWidth = 77;

// Builds lines in UTF-16 for the version 5 form and in ANSI for REGEDIT4;
// the wrap width counts characters of the form being written.
class RegFileText {
 public:
  explicit RegFileText(RegFileFormat format) : m_format(format) {}

  void Append(const std::string& ascii) { m_text.append(ascii.begin(), ascii.end()); }
  void AppendAnsi(const std::string& ansi) {
    if (m_format == RegFileFormat::kVersion5) {
      m_text += AnsiToWide(ansi);
    } else {
      m_text.append(ansi.begin(), ansi.end());
    }
  }
  size_t LineLength() const {
    size_t start = m_text.rfind(WCHAR('\n'));
    return start == WideText::npos ? m_text.size() : m_text.size() - start - 1;
  }
  std::string Bytes() const {
    std::string bytes;
    if (m_format == RegFileFormat::kRegedit4) {
      for (WCHAR c : m_text) bytes += static_cast<char>(c);  // already ANSI bytes
      return bytes;
    }
    bytes = "\xFF\xFE";
    for (WCHAR c : m_text) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
  }

 private:
  RegFileFormat m_format;
  WideText m_text;  // in the REGEDIT4 form one ANSI byte per element
};

std::string Escaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";  // as the registry editor of Wine writes them
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// The bytes the editor shows for a value: string types as UTF-16LE in the
// version 5 form, everything else as stored.
std::vector<BYTE> HexBytes(const RegValue& value, RegFileFormat format) {
  bool isText = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
  if (!isText || format == RegFileFormat::kRegedit4) return value.data;
  std::string ansi(value.data.begin(), value.data.end());
  WideText wide = AnsiToWide(ansi);
  std::vector<BYTE> bytes;
  for (WCHAR c : wide) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
  return bytes;
}

void AppendHex(RegFileText& text, const RegValue& value, RegFileFormat format) {
  char prefix[32];
  if (value.type == REG_BINARY) {
    snprintf(prefix, sizeof prefix, "hex:");
  } else {
    snprintf(prefix, sizeof prefix, "hex(%lx):", static_cast<unsigned long>(value.type));
  }
  text.Append(prefix);
  std::vector<BYTE> bytes = HexBytes(value, format);
  for (size_t i = 0; i < bytes.size(); ++i) {
    char digits[4];
    snprintf(digits, sizeof digits, "%02x", bytes[i]);
    text.Append(digits);
    if (i + 1 == bytes.size()) break;
    text.Append(",");
    if (text.LineLength() >= kHexLineWidth) text.Append("\\\r\n  ");
  }
}

// A text the quoted form holds whole: ended by its only NUL.
bool IsPlainText(const std::vector<BYTE>& data) {
  return !data.empty() && data.back() == 0 && std::find(data.begin(), data.end() - 1, BYTE(0)) == data.end() - 1;
}

void AppendValue(RegFileText& text, const RegValue& value, RegFileFormat format) {
  if (value.name.empty()) {
    text.Append("@=");
  } else {
    text.Append("\"");
    text.AppendAnsi(Escaped(value.name));
    text.Append("\"=");
  }
  if (value.type == REG_SZ && IsPlainText(value.data)) {
    text.Append("\"");
    text.AppendAnsi(Escaped(TextOf(value.data)));
    text.Append("\"");
  } else if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
    DWORD dword = 0;
    memcpy(&dword, value.data.data(), sizeof dword);
    char digits[16];
    snprintf(digits, sizeof digits, "dword:%08lx", static_cast<unsigned long>(dword));
    text.Append(digits);
  } else {
    AppendHex(text, value, format);
  }
  text.Append("\r\n");
}

}  // namespace

std::string WriteRegFile(const std::vector<RegFileKey>& keys, RegFileFormat format) {
  RegFileText text(format);
  text.Append(format == RegFileFormat::kVersion5 ? "Windows Registry Editor Version 5.00\r\n" : "REGEDIT4\r\n");
  for (const RegFileKey& key : keys) {
    text.Append("\r\n[");
    if (key.remove) text.Append("-");
    text.AppendAnsi(key.path.FullName());
    text.Append("]\r\n");
    for (const RegFileValue& entry : key.values) {
      if (entry.remove) {
        text.Append(entry.value.name.empty() ? "@" : "\"");
        if (!entry.value.name.empty()) {
          text.AppendAnsi(Escaped(entry.value.name));
          text.Append("\"");
        }
        text.Append("=-\r\n");
      } else {
        AppendValue(text, entry.value, format);
      }
    }
  }
  text.Append("\r\n");
  return text.Bytes();
}

}  // namespace vkdiag
