// Reads .reg files of both forms: the version 5 form in UTF-16LE with a
// byte-order mark, and REGEDIT4 (or a version 5 header) in ANSI. Comments
// start with ';', hex data continues on the next line after '\'. The whole
// file is parsed before anything is written, so an error stops it all.
#include <string.h>

#include "reg_file.h"
#include "text_encoding.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

const char kVersion5Header[] = "Windows Registry Editor Version 5.00";
const char kRegedit4Header[] = "REGEDIT4";

struct Line {
  size_t number;
  WideText text;
};

class RegFileParser {
 public:
  // `format` is how texts are encoded (UTF-16 or ANSI bytes); `wideHex`
  // whether hex data of string types is UTF-16LE (a version 5 header).
  RegFileParser(const std::string& fileName, RegFileFormat format, bool wideHex)
      : m_fileName(fileName), m_format(format), m_wideHex(wideHex) {}

  std::vector<RegFileKey> Parse(const std::vector<Line>& lines);

 private:
  [[noreturn]] void Expected(size_t line, const std::string& what) const {
    throw UsageError(EscapeControls(m_fileName) + ":" + std::to_string(line) + ": expected " + what);
  }
  void ParseKey(const Line& line);
  void ParseValue(const std::vector<Line>& lines, size_t* index);
  std::string ParseQuoted(const Line& line, size_t* pos);
  std::vector<BYTE> ParseHexBytes(const std::vector<Line>& lines, size_t* index, size_t pos);
  RegValue TextValue(DWORD type, std::vector<BYTE> bytes) const;

  std::string m_fileName;
  RegFileFormat m_format;
  bool m_wideHex;
  std::vector<RegFileKey> m_keys;
};

bool IsBlank(WCHAR c) { return c == ' ' || c == '\t'; }

size_t SkipBlanks(const WideText& text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

bool StartsWith(const WideText& text, size_t pos, const char* ascii) {
  size_t length = strlen(ascii);
  if (pos > text.size() || text.size() - pos < length) return false;
  for (size_t i = 0; i < length; ++i) {
    WCHAR c = text[pos + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<WCHAR>(c - 'A' + 'a');
    char want = static_cast<char>(tolower(static_cast<unsigned char>(ascii[i])));
    if (c != static_cast<WCHAR>(want)) return false;
  }
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

std::string ToAnsi(const WideText& text, RegFileFormat format) {
  if (format == RegFileFormat::kVersion5) return WideToAnsi(text);
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
      ParseKey(line);
    } else if (line.text[pos] == '"' || line.text[pos] == '@') {
      if (m_keys.empty()) Expected(line.number, "a [KEY] line before the first value");
      if (m_keys.back().remove) Expected(line.number, "no values under a deleted [-KEY]");
      ParseValue(lines, &index);
    } else {
      Expected(line.number, "a [KEY] line, a \"name\"= or @= value line, or a ; comment");
    }
  }
  return std::move(m_keys);
}

void RegFileParser::ParseKey(const Line& line) {
  size_t open = SkipBlanks(line.text, 0) + 1;
  size_t close = line.text.rfind(WCHAR(']'));
  if (close == WideText::npos || close < open || !RestIsEmpty(line.text, close + 1))
    Expected(line.number, "a key line of the form [HKEY_...\\...]");
  RegFileKey key;
  if (open < close && line.text[open] == '-') {
    key.remove = true;
    ++open;
  }
  std::string name = ToAnsi(line.text.substr(open, close - open), m_format);
  try {
    key.path = ParseKeyPath(name);
  } catch (const ToolError& error) {
    Expected(line.number, std::string("a known root key: ") + error.what());
  }
  if (key.path.subKey.empty()) Expected(line.number, "a key below the root, not the root itself");
  m_keys.push_back(std::move(key));
}

// A quoted name or text with the editor's escapes \\ \" and \n.
std::string RegFileParser::ParseQuoted(const Line& line, size_t* pos) {
  WideText text;
  for (size_t i = *pos + 1; i < line.text.size(); ++i) {
    WCHAR c = line.text[i];
    if (c == '"') {
      *pos = i + 1;
      return ToAnsi(text, m_format);
    }
    if (c == '\\' && i + 1 < line.text.size()) {
      WCHAR next = line.text[++i];
      if (next == 'n') {
        text += WCHAR('\n');
      } else if (next == '\\' || next == '"') {
        text += next;
      } else {
        text += c;  // the editor keeps an unknown escape as it stands
        text += next;
      }
      continue;
    }
    text += c;
  }
  Expected(line.number, "a closing \" on the same line");
}

std::vector<BYTE> RegFileParser::ParseHexBytes(const std::vector<Line>& lines, size_t* index, size_t pos) {
  std::vector<BYTE> bytes;
  const Line* line = &lines[*index];
  for (;;) {
    pos = SkipBlanks(line->text, pos);
    if (RestIsEmpty(line->text, pos)) return bytes;
    if (line->text[pos] == '\\' && RestIsEmpty(line->text, pos + 1)) {
      if (*index + 1 >= lines.size()) Expected(line->number, "hex data on a line after the \\");
      line = &lines[++*index];
      pos = 0;
      continue;
    }
    int high = pos < line->text.size() ? HexDigit(line->text[pos]) : -1;
    int low = pos + 1 < line->text.size() ? HexDigit(line->text[pos + 1]) : -1;
    if (high < 0 || low < 0) Expected(line->number, "two hex digits per byte, separated by commas");
    bytes.push_back(static_cast<BYTE>(high * 16 + low));
    pos = SkipBlanks(line->text, pos + 2);
    if (pos < line->text.size() && line->text[pos] == ',') {
      ++pos;
    } else if (!RestIsEmpty(line->text, pos)) {
      Expected(line->number, "a comma between hex bytes");
    }
  }
}

// Hex data of a string type is UTF-16LE in the version 5 form; the A
// functions take it in the ANSI code page.
RegValue RegFileParser::TextValue(DWORD type, std::vector<BYTE> bytes) const {
  RegValue value;
  value.type = type;
  bool isText = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (!isText || !m_wideHex || bytes.size() % 2 != 0) {
    value.data = std::move(bytes);
    return value;
  }
  WideText wide;
  for (size_t i = 0; i < bytes.size(); i += 2) wide += static_cast<WCHAR>(bytes[i] | (bytes[i + 1] << 8));
  std::string ansi = WideToAnsi(wide);
  value.data.assign(ansi.begin(), ansi.end());
  return value;
}

void RegFileParser::ParseValue(const std::vector<Line>& lines, size_t* index) {
  const Line& line = lines[*index];
  size_t pos = SkipBlanks(line.text, 0);
  RegFileValue entry;
  if (line.text[pos] == '@') {
    ++pos;
  } else {
    entry.value.name = ParseQuoted(line, &pos);
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
    pos += 6;
    DWORD number = 0;
    size_t digits = 0;
    for (; pos < line.text.size() && HexDigit(line.text[pos]) >= 0; ++pos, ++digits)
      number = (number << 4) | static_cast<DWORD>(HexDigit(line.text[pos]));
    if (digits == 0 || digits > 8 || !RestIsEmpty(line.text, pos))
      Expected(line.number, "dword: followed by 1 to 8 hex digits");
    entry.value.type = REG_DWORD;
    entry.value.data.resize(sizeof number);
    memcpy(entry.value.data.data(), &number, sizeof number);
  } else if (StartsWith(line.text, pos, "hex:") || StartsWith(line.text, pos, "hex(")) {
    DWORD type = REG_BINARY;
    pos += 3;
    if (line.text[pos] == '(') {
      size_t digits = 0;
      type = 0;
      for (++pos; pos < line.text.size() && HexDigit(line.text[pos]) >= 0; ++pos, ++digits)
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

// The file as lines of UTF-16 (version 5 form) or of ANSI bytes, one per
// element (REGEDIT4 form, converted only where texts are taken out).
std::vector<Line> SplitLines(const std::string& bytes, const std::string& fileName, RegFileFormat* format,
                             bool* wideHex) {
  WideText text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<WCHAR>(static_cast<BYTE>(bytes[i]) | (static_cast<BYTE>(bytes[i + 1]) << 8));
    *format = RegFileFormat::kVersion5;
  } else {
    size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 byte-order mark
    for (size_t i = start; i < bytes.size(); ++i) text += static_cast<WCHAR>(static_cast<BYTE>(bytes[i]));
    *format = RegFileFormat::kRegedit4;
  }
  std::vector<Line> lines;
  size_t number = 1;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find(WCHAR('\n'), start);
    WideText piece = text.substr(start, end == WideText::npos ? WideText::npos : end - start);
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    lines.push_back({number++, piece});
    if (end == WideText::npos) break;
    start = end + 1;
  }
  // The header decides the form of the texts; a version 5 header in an
  // ANSI file still means ANSI texts.
  size_t first = 0;
  while (first < lines.size() && SkipBlanks(lines[first].text, 0) == lines[first].text.size()) ++first;
  bool version5 = first < lines.size() && StartsWith(lines[first].text, 0, kVersion5Header) &&
                  RestIsEmpty(lines[first].text, strlen(kVersion5Header));
  bool regedit4 = first < lines.size() && StartsWith(lines[first].text, 0, kRegedit4Header) &&
                  RestIsEmpty(lines[first].text, strlen(kRegedit4Header));
  if (!version5 && !regedit4)
    throw UsageError(EscapeControls(fileName) + ":" + std::to_string(first < lines.size() ? first + 1 : 1) +
                     ": expected the header \"" + kVersion5Header + "\" or \"" + kRegedit4Header + "\"");
  *wideHex = version5;
  lines.erase(lines.begin(), lines.begin() + static_cast<long>(first));
  return lines;
}

}  // namespace

std::vector<RegFileKey> ReadRegFile(const std::string& bytes, const std::string& fileName) {
  RegFileFormat format = RegFileFormat::kVersion5;
  bool wideHex = true;
  std::vector<Line> lines = SplitLines(bytes, fileName, &format, &wideHex);
  RegFileParser parser(fileName, format, wideHex);
  return parser.Parse(lines);
}

}  // namespace vkdiag
