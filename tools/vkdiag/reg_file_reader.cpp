// Reads .reg files as the registry editor reads them: UTF-16LE with a
// byte-order mark or ANSI, the header "Windows Registry Editor Version 5.00"
// or "REGEDIT4" alone on the first line, comments after ';', hex data
// continued on the next lines after a '\' that follows a comma. Where the
// editor skips a line it cannot read, and so drops its key or value, this
// reader refuses the whole file; the whole file is parsed, and every name,
// length and depth checked, before anything is written, so an error stops
// it all.
#include <string.h>

#include "reg_file.h"
#include "text_encoding.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

const char kVersion5Header[] = "Windows Registry Editor Version 5.00";
const char kRegedit4Header[] = "REGEDIT4";

// Windows' limits on names, in UTF-16 characters, and on how deep a key lies.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kDeepestLevel = 512;

struct Line {
  size_t number;
  WideText text;
};

bool IsBlank(WCHAR c) { return c == ' ' || c == '\t'; }

size_t SkipBlanks(const WideText& text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

// Exactly these characters at pos, as the editor compares its type tags.
bool StartsWith(const WideText& text, size_t pos, const char* ascii) {
  size_t length = strlen(ascii);
  if (pos > text.size() || text.size() - pos < length) return false;
  for (size_t i = 0; i < length; ++i)
    if (text[pos + i] != static_cast<WCHAR>(ascii[i])) return false;
  return true;
}

// What may end a line after its data: nothing, blanks or a comment.
bool RestIsEmpty(const WideText& text, size_t pos) {
  pos = SkipBlanks(text, pos);
  return pos == text.size() || text[pos] == ';';
}

int HexDigit(WCHAR c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class RegFileParser {
 public:
  // `unicode` tells how texts are encoded: UTF-16 for a file with a
  // byte-order mark, else one ANSI byte per element; hex data of string
  // types is in the same form.
  RegFileParser(const std::string& fileName, bool unicode, std::vector<std::string>* warnings)
      : m_fileName(fileName), m_unicode(unicode), m_warnings(warnings) {}

  std::vector<RegFileKey> Parse(const std::vector<Line>& lines);

 private:
  [[noreturn]] void Expected(size_t line, const std::string& what) const {
    throw UsageError(EscapeControls(m_fileName) + ":" + std::to_string(line) + ": expected " + what);
  }
  void Warn(size_t line, const std::string& what) const {
    if (m_warnings)
      m_warnings->push_back(EscapeControls(m_fileName) + ":" + std::to_string(line) + ": warning: " + what);
  }
  std::string ToAnsi(const WideText& text) const;
  void ParseKey(const Line& line, size_t open);
  void ParseValue(const std::vector<Line>& lines, size_t* index, size_t pos);
  std::string ParseQuoted(const Line& line, size_t* pos);
  DWORD ParseDword(const Line& line, size_t pos);
  std::vector<BYTE> ParseHexBytes(const std::vector<Line>& lines, size_t* index, size_t pos);
  RegValue TextValue(DWORD type, std::vector<BYTE> bytes) const;

  std::string m_fileName;
  bool m_unicode;
  std::vector<std::string>* m_warnings;
  std::vector<RegFileKey> m_keys;
};

std::string RegFileParser::ToAnsi(const WideText& text) const {
  if (m_unicode) return WideToAnsi(text);
  std::string ansi;
  for (WCHAR c : text) ansi += static_cast<char>(c);
  return ansi;
}

std::vector<RegFileKey> RegFileParser::Parse(const std::vector<Line>& lines) {
  for (size_t index = 1; index < lines.size(); ++index) {
    const Line& line = lines[index];
    size_t pos = SkipBlanks(line.text, 0);
    if (pos == line.text.size() || line.text[pos] == ';' || line.text[pos] == '#') continue;
    if (line.text[pos] == '[') {
      ParseKey(line, pos + 1);
    } else if (line.text[pos] == '"' || line.text[pos] == '@') {
      if (m_keys.empty()) Expected(line.number, "a [KEY] line before the first value");
      if (m_keys.back().remove) Expected(line.number, "no values under a deleted [-KEY]");
      ParseValue(lines, &index, pos);
    } else {
      Expected(line.number, "a [KEY] line, a \"name\"= or @= value line, or a ; comment");
    }
  }
  return std::move(m_keys);
}

// [KEY] or [-KEY]; the editor takes the last ']' and ignores what follows.
void RegFileParser::ParseKey(const Line& line, size_t open) {
  size_t close = line.text.rfind(WCHAR(']'));
  if (close == WideText::npos || close < open || (open < line.text.size() && IsBlank(line.text[open])))
    Expected(line.number, "a key line of the form [HKEY_...\\...]");
  RegFileKey key;
  if (open < close && line.text[open] == '-') {
    key.remove = true;
    ++open;
  }
  std::string name = ToAnsi(line.text.substr(open, close - open));
  if (!ParseFullKeyName(name, &key.path))
    Expected(line.number, "a root key by its full name (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS or "
                          "HKEY_CLASSES_ROOT)");
  if (key.remove && key.path.subKey.empty()) Expected(line.number, "a key below the root to delete, not the root");
  for (size_t start = 0; start < key.path.subKey.size();) {
    size_t end = key.path.subKey.find('\\', start);
    if (end == std::string::npos) end = key.path.subKey.size();
    if (AnsiToWide(key.path.subKey.substr(start, end - start)).size() > kMaxKeyNameLength)
      Expected(line.number, "key names of at most " + std::to_string(kMaxKeyNameLength) + " characters");
    start = end + 1;
  }
  if (KeyLevel(key.path) > kDeepestLevel)
    Expected(line.number, "a key at most " + std::to_string(kDeepestLevel) + " levels deep");
  m_keys.push_back(std::move(key));
}

// A quoted name or text with the editor's escapes \\ \" \n and \r; any
// other escaped character stands for itself, with a warning, as the editor
// takes it, and \0, which the editor refuses, is refused.
std::string RegFileParser::ParseQuoted(const Line& line, size_t* pos) {
  WideText text;
  for (size_t i = *pos + 1; i < line.text.size(); ++i) {
    WCHAR c = line.text[i];
    if (c == '"') {
      *pos = i + 1;
      return ToAnsi(text);
    }
    if (c == '\\' && i + 1 < line.text.size()) {
      WCHAR next = line.text[++i];
      if (next == 'n') {
        text += WCHAR('\n');
      } else if (next == 'r') {
        text += WCHAR('\r');
      } else if (next == '0') {
        Expected(line.number, "no \\0 in a quoted text");
      } else {
        if (next != '\\' && next != '"')
          Warn(line.number, "unknown escape \\" + ToAnsi(WideText(1, next)) + " read as " + ToAnsi(WideText(1, next)));
        text += next;
      }
      continue;
    }
    text += c;
  }
  Expected(line.number, "a closing \" on the same line");
}

// dword: then 1 to 8 hex digits, blanks allowed around them.
DWORD RegFileParser::ParseDword(const Line& line, size_t pos) {
  pos = SkipBlanks(line.text, pos);
  DWORD number = 0;
  size_t digits = 0;
  for (; pos < line.text.size() && HexDigit(line.text[pos]) >= 0; ++pos, ++digits)
    number = (number << 4) | static_cast<DWORD>(HexDigit(line.text[pos]));
  if (digits == 0 || digits > 8 || !RestIsEmpty(line.text, pos))
    Expected(line.number, "dword: followed by 1 to 8 hex digits");
  return number;
}

// Bytes as the editor reads them: hex numbers up to FF (one digit is
// enough), blanks allowed before each, a comma right after each but the
// last. A '\' after a comma continues the data on the next line that is
// neither blank nor a comment; the end of the file ends it too.
std::vector<BYTE> RegFileParser::ParseHexBytes(const std::vector<Line>& lines, size_t* index, size_t pos) {
  std::vector<BYTE> bytes;
  const Line* line = &lines[*index];
  for (;;) {
    pos = SkipBlanks(line->text, pos);
    if (pos == line->text.size() || line->text[pos] == ';') return bytes;
    if (line->text[pos] == '\\') {
      if (!RestIsEmpty(line->text, pos + 1)) Expected(line->number, "nothing but a comment after the \\");
      for (;;) {
        if (*index + 1 >= lines.size()) return bytes;
        line = &lines[++*index];
        pos = SkipBlanks(line->text, 0);
        if (pos < line->text.size() && line->text[pos] != ';') break;
      }
      if (HexDigit(line->text[pos]) < 0) Expected(line->number, "hex data on the line after the \\");
      continue;
    }
    unsigned value = 0;
    size_t start = pos;
    for (; pos < line->text.size() && HexDigit(line->text[pos]) >= 0; ++pos) {
      value = value * 16 + static_cast<unsigned>(HexDigit(line->text[pos]));
      if (value > 0xFF) break;
    }
    if (pos == start || value > 0xFF) Expected(line->number, "hex bytes of one or two digits, separated by commas");
    bytes.push_back(static_cast<BYTE>(value));
    if (pos < line->text.size() && line->text[pos] == ',') {
      ++pos;
    } else if (!RestIsEmpty(line->text, pos)) {
      Expected(line->number, "a comma right after each hex byte");
    } else {
      return bytes;
    }
  }
}

// Hex data of a string type ends with a terminator, as the editor adds one
// when it is missing; in a UTF-16 file the data is UTF-16LE (an odd last
// byte goes), and the A functions take it in the ANSI code page.
RegValue RegFileParser::TextValue(DWORD type, std::vector<BYTE> bytes) const {
  RegValue value;
  value.type = type;
  bool isText = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (!isText || bytes.empty()) {
    value.data = std::move(bytes);
    return value;
  }
  if (!m_unicode) {
    if (bytes.back() != 0) bytes.push_back(0);
    value.data = std::move(bytes);
    return value;
  }
  WideText wide;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) wide += static_cast<WCHAR>(bytes[i] | (bytes[i + 1] << 8));
  if (wide.empty() || wide.back() != 0) wide += WCHAR(0);
  std::string ansi = WideToAnsi(wide);
  value.data.assign(ansi.begin(), ansi.end());
  return value;
}

void RegFileParser::ParseValue(const std::vector<Line>& lines, size_t* index, size_t pos) {
  const Line& line = lines[*index];
  RegFileValue entry;
  if (line.text[pos] == '@') {
    ++pos;
  } else {
    entry.value.name = ParseQuoted(line, &pos);
    if (entry.value.name.find('\0') != std::string::npos) Expected(line.number, "a value name without NUL");
    if (AnsiToWide(entry.value.name).size() > kMaxValueNameLength)
      Expected(line.number, "a value name of at most " + std::to_string(kMaxValueNameLength) + " characters");
  }
  pos = SkipBlanks(line.text, pos);
  if (pos >= line.text.size() || line.text[pos] != '=') Expected(line.number, "= after the value name");
  pos = SkipBlanks(line.text, pos + 1);
  std::string name = entry.value.name;
  if (pos < line.text.size() && line.text[pos] == '-') {
    if (!RestIsEmpty(line.text, pos + 1)) Expected(line.number, "nothing after =-");
    entry.remove = true;
  } else if (pos < line.text.size() && line.text[pos] == '"') {
    std::string text = ParseQuoted(line, &pos);
    if (!RestIsEmpty(line.text, pos)) Expected(line.number, "nothing after the closing \"");
    entry.value.type = REG_SZ;
    entry.value.data.assign(text.begin(), text.end());
    entry.value.data.push_back(0);
  } else if (StartsWith(line.text, pos, "dword:")) {
    DWORD number = ParseDword(line, pos + 6);
    entry.value.type = REG_DWORD;
    entry.value.data.resize(sizeof number);
    memcpy(entry.value.data.data(), &number, sizeof number);
  } else if (StartsWith(line.text, pos, "hex:") || StartsWith(line.text, pos, "hex(")) {
    DWORD type = REG_BINARY;
    pos += 3;
    if (line.text[pos] == '(') {
      ++pos;
      if (pos + 1 < line.text.size() && (line.text[pos + 1] == 'x' || line.text[pos + 1] == 'X'))
        Expected(line.number, "hex(N): with N a type number in hex, without 0x");
      pos = SkipBlanks(line.text, pos);
      size_t digits = 0;
      type = 0;
      for (; pos < line.text.size() && HexDigit(line.text[pos]) >= 0; ++pos, ++digits)
        type = (type << 4) | static_cast<DWORD>(HexDigit(line.text[pos]));
      if (digits == 0 || digits > 8 || pos + 1 >= line.text.size() || line.text[pos] != ')')
        Expected(line.number, "hex(N): with N a type number in hex");
      ++pos;
    }
    if (pos >= line.text.size() || line.text[pos] != ':') Expected(line.number, ": after hex or hex(N)");
    entry.value = TextValue(type, ParseHexBytes(lines, index, pos + 1));
  } else {
    Expected(line.number, "\"text\", dword:, hex:, hex(N): or - after =");
  }
  entry.value.name = name;
  m_keys.back().values.push_back(std::move(entry));
}

// The file as lines of UTF-16 (with a byte-order mark) or of ANSI bytes,
// one per element, converted only where texts are taken out. Lines end at
// CR, LF or CR LF, as the editor ends them. The first line must be the
// header and nothing else but blanks before it.
std::vector<Line> SplitLines(const std::string& bytes, const std::string& fileName, bool* unicode) {
  WideText text;
  *unicode = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  if (*unicode) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<WCHAR>(static_cast<BYTE>(bytes[i]) | (static_cast<BYTE>(bytes[i + 1]) << 8));
  } else {
    for (char c : bytes) text += static_cast<WCHAR>(static_cast<BYTE>(c));
  }
  std::vector<Line> lines;
  size_t number = 1;
  for (size_t start = 0; start <= text.size();) {
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.push_back({number++, text.substr(start, end - start)});
    if (end == text.size()) break;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  size_t pos = SkipBlanks(lines[0].text, 0);
  WideText header = lines[0].text.substr(pos);
  auto is = [&](const char* ascii) { return header.size() == strlen(ascii) && StartsWith(header, 0, ascii); };
  if (!is(kVersion5Header) && !is(kRegedit4Header))
    throw UsageError(EscapeControls(fileName) + ":1: expected the header \"" + kVersion5Header + "\" or \"" +
                     kRegedit4Header + "\" on the first line");
  return lines;
}

}  // namespace

std::vector<RegFileKey> ReadRegFile(const std::string& bytes, const std::string& fileName,
                                    std::vector<std::string>* warnings) {
  bool unicode = false;
  std::vector<Line> lines = SplitLines(bytes, fileName, &unicode);
  RegFileParser parser(fileName, unicode, warnings);
  return parser.Parse(lines);
}

}  // namespace vkdiag
