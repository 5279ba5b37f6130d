// User32's wsprintf family: formatting into a buffer of at most 1,024 bytes
// with wsprintf's own conversions, not the C runtime's.
#include <stdint.h>
#include <string.h>

#include <string>

#include "kernel/win32.h"
#include "text/wide_text.h"

namespace {

constexpr size_t kBufferSize = 1024;           // bytes, terminator included
constexpr size_t kMaxText = kBufferSize - 1;   // characters stored
constexpr unsigned kFieldLimit = kBufferSize;  // wider fields are cut anyway

// One conversion: %[-][#][0][width][.precision][size]type, the flags only in
// that order, as wsprintf documents them.
struct Conversion {
  bool left = false;
  bool prefix = false;  // '#': 0x or 0X before hexadecimal digits
  bool zero = false;
  unsigned width = 0;
  unsigned precision = 0;  // 0: none, also when written as ".0"
  enum class Size { kInt, kInt64, kPointer } size = Size::kInt;
  bool longOrWide = false;  // 'l' or 'w'
  bool shortSize = false;   // 'h'
  char type = '\0';
};

// The output, cut at kMaxText characters.
class Output {
 public:
  explicit Output(char* buffer) : m_buffer(buffer) {}
  void Put(char c) {
    if (m_length < kMaxText) m_buffer[m_length++] = c;
  }
  void Put(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) Put(text[i]);
  }
  void Repeat(char c, size_t count) {
    for (size_t i = 0; i < count && m_length < kMaxText; ++i) Put(c);
  }
  bool Full() const { return m_length >= kMaxText; }
  unsigned Room() const { return static_cast<unsigned>(kMaxText - m_length); }
  // Terminates the text. A text that filled the buffer counts 1024, as
  // wsprintf counts it when it stopped for want of room.
  int Finish() {
    m_buffer[m_length] = '\0';
    return Full() ? static_cast<int>(kBufferSize) : static_cast<int>(m_length);
  }

 private:
  char* m_buffer;
  size_t m_length = 0;
};

unsigned ParseNumber(const char** p) {
  unsigned value = 0;
  for (; **p >= '0' && **p <= '9'; ++*p)
    if (value < kFieldLimit) value = value * 10 + static_cast<unsigned>(**p - '0');
  return value < kFieldLimit ? value : kFieldLimit;
}

// Reads a conversion after its '%'; *p ends on its type letter.
Conversion Parse(const char** p) {
  Conversion c;
  if (**p == '-') {
    c.left = true;
    ++*p;
  }
  if (**p == '#') {
    c.prefix = true;
    ++*p;
  }
  if (**p == '0') {
    c.zero = true;
    ++*p;
  }
  c.width = ParseNumber(p);
  if (**p == '.') {
    ++*p;
    c.precision = ParseNumber(p);
  }
  if (**p == 'l' || **p == 'w') {
    c.longOrWide = true;
    ++*p;
  } else if (**p == 'h') {
    c.shortSize = true;
    ++*p;
  } else if (**p == 'I') {
    if ((*p)[1] == '6' && (*p)[2] == '4') {
      c.size = Conversion::Size::kInt64;
      *p += 3;
    } else if ((*p)[1] == '3' && (*p)[2] == '2') {
      *p += 3;
    } else {
      c.size = Conversion::Size::kPointer;
      ++*p;
    }
  }
  c.type = **p;
  if (c.type == 'p') {
    c.width = 2 * sizeof(void*);
    c.zero = true;
    c.size = Conversion::Size::kPointer;
  }
  if (c.left) c.zero = false;
  return c;
}

// Text padded to the width with spaces, on the left or the right.
void PutPadded(Output& out, const Conversion& c, const std::string& text) {
  size_t pad = c.width > text.size() ? c.width - text.size() : 0;
  if (!c.left) out.Repeat(' ', pad);
  out.Put(text.data(), text.size());
  if (c.left) out.Repeat(' ', pad);
}

// A number: the sign counts into the precision and a zero-padded width,
// the 0x of '#' into neither, as wsprintf counts them.
void PutNumber(Output& out, const Conversion& c, va_list& args) {
  uint64_t magnitude = 0;
  bool negative = false;
  bool isSigned = c.type == 'd' || c.type == 'i';
  if (c.size == Conversion::Size::kInt64) {
    int64_t value = va_arg(args, int64_t);
    negative = isSigned && value < 0;
    magnitude = static_cast<uint64_t>(value);
  } else if (c.size == Conversion::Size::kPointer) {
    intptr_t value = va_arg(args, intptr_t);
    negative = isSigned && value < 0;
    magnitude = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(value)) : static_cast<uintptr_t>(value);
  } else {
    int value = va_arg(args, int);
    negative = isSigned && value < 0;
    magnitude = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(value)) : static_cast<unsigned>(value);
  }
  if (negative) magnitude = 0 - magnitude;
  bool hex = c.type == 'x' || c.type == 'X' || c.type == 'p';
  const char* digits = c.type == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
  char reversed[24];
  size_t count = 0;
  do {
    reversed[count++] = digits[magnitude % (hex ? 16 : 10)];
    magnitude /= hex ? 16 : 10;
  } while (magnitude);
  size_t length = count + (negative ? 1 : 0);
  size_t precision = c.precision > length ? c.precision : length;
  if (c.zero && c.width > precision) precision = c.width;
  size_t pad = c.width > precision ? c.width - precision : 0;
  if (!c.left) out.Repeat(' ', pad);
  if (hex && c.prefix && c.type != 'p') out.Put(c.type == 'x' ? "0x" : "0X", 2);
  if (negative) out.Put('-');
  out.Repeat('0', precision - length);
  while (count) out.Put(reversed[--count]);
  if (c.left) out.Repeat(' ', pad);
}

bool IsWide(const Conversion& c) {
  if (c.type == 'c' || c.type == 's') return c.longOrWide;
  return !c.shortSize;  // 'C' and 'S'
}

// Formats one conversion; false for a type letter wsprintf does not know,
// which takes no argument and is printed as text after the width's spaces.
// A width or precision wider than the room left is cut to it first, as
// wsprintf cuts it: a number padded to the end of the buffer still shows.
bool PutConversion(Output& out, Conversion c, va_list& args) {
  if (c.width > out.Room()) c.width = out.Room();
  if (c.precision > out.Room() && c.type != 's' && c.type != 'S') c.precision = out.Room();
  switch (c.type) {
    case 'c':
    case 'C': {
      std::string text;
      if (IsWide(c)) {
        vk_posix::AppendWideChar(&text, static_cast<wchar_t>(va_arg(args, wint_t)));
      } else {
        text.push_back(static_cast<char>(va_arg(args, int)));
      }
      PutPadded(out, c, text);
      return true;
    }
    case 's':
    case 'S': {
      // A precision cuts the text to that many bytes, even inside a
      // character, as wsprintf cuts it.
      std::string text;
      size_t limit = c.precision ? c.precision : SIZE_MAX;
      if (IsWide(c)) {
        const wchar_t* wide = va_arg(args, const wchar_t*);
        if (!wide) wide = L"(null)";
        for (; *wide && text.size() < limit && text.size() < kMaxText; ++wide) vk_posix::AppendWideChar(&text, *wide);
      } else {
        const char* narrow = va_arg(args, const char*);
        if (!narrow) narrow = "(null)";
        text.assign(narrow, strnlen(narrow, limit < kMaxText ? limit : kMaxText));
      }
      if (text.size() > limit) text.resize(limit);
      PutPadded(out, c, text);
      return true;
    }
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'p':
      PutNumber(out, c, args);
      return true;
    default:
      if (!c.left) out.Repeat(' ', c.width);
      return false;
  }
}

}  // namespace

// Formats as User32's wsprintf does, into at most 1,024 bytes with the
// terminator: %c %C %d %i %u %x %X %s %S %p, the sizes l and h (which
// change nothing but the width of characters and texts), w, I, I32 and
// I64, the flags '-', '#' and '0' in that order, a width and a precision
// (".0" is none). A percent sign before any other letter prints the letter
// ("%o" gives "o", "%+d" gives "+d", "% d" gives " d") and takes no
// argument; a percent sign that ends the format prints nothing. Wide
// characters and texts are wchar_t, as the compiler's format checks and L""
// literals have them here, and become UTF-8. Returns the characters stored,
// or 1024 when the text filled the buffer, as wsprintf does.
int Vk::Win32::wvsprintfA(LPSTR buffer, LPCSTR format, va_list arglist) {
  if (!buffer || !format) return 0;
  Output out(buffer);
  va_list args;
  va_copy(args, arglist);
  for (const char* p = format; *p && !out.Full();) {
    if (*p != '%') {
      out.Put(*p++);
      continue;
    }
    ++p;
    if (*p == '%') {
      out.Put(*p++);
      continue;
    }
    Conversion c = Parse(&p);
    if (PutConversion(out, c, args)) ++p;  // an unknown letter stays to be printed
  }
  va_end(args);
  return out.Finish();
}
