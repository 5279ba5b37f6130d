#include "event_message.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "key_path.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Log names compare without case, as the registry compares keys.
bool SameName(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

// %NAME% from the environment, as REG_EXPAND_SZ paths are written.
std::string ExpandEnvironment(const std::string& text) {
  std::string expanded;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (close == std::string::npos || close == i + 1) {
      expanded += text[i];
      continue;
    }
    const char* value = getenv(text.substr(i + 1, close - i - 1).c_str());
    if (value) {
      expanded += value;
      i = close;
    } else {
      expanded += text[i];
    }
  }
  return expanded;
}

// The template for the identifier from one message module, or empty.
std::string TemplateFrom(const std::string& file, DWORD eventId) {
  HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return std::string();
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                                    FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                module, eventId, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string found = length && text ? std::string(text, length) : std::string();
  if (text) LocalFree(text);
  FreeLibrary(module);
  return found;
}

}  // namespace

std::vector<std::string> ExistingLogs() {
  std::vector<std::string> logs = {"Application", "Security", "System"};
  KeyPath path = ParseKeyPath(kEventlogKey);
  ScopedKey key;
  if (key.Open(path, KEY_READ) == ERROR_SUCCESS)
    for (const std::string& log : ReadSubKeyNames(key.Get(), path.FullName()))
      if (std::none_of(logs.begin(), logs.end(), [&](const std::string& known) { return SameName(known, log); }))
        logs.push_back(log);
  std::sort(logs.begin(), logs.end(), [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
  return logs;
}

void RequireExistingLog(const std::string& log) {
  std::vector<std::string> logs = ExistingLogs();
  if (std::any_of(logs.begin(), logs.end(), [&](const std::string& known) { return SameName(known, log); })) return;
  std::string names;
  for (const std::string& known : logs) names += (names.empty() ? "" : ", ") + EscapeControls(known);
  throw Failure("there is no event log '" + EscapeControls(log) + "'; the logs are " + names);
}

std::string InsertEventStrings(const std::string& text, const std::vector<std::string>& strings) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%' || i + 1 >= text.size()) {
      result += c;
      continue;
    }
    char next = text[i + 1];
    if (next >= '1' && next <= '9') {
      size_t start = i;
      size_t number = static_cast<size_t>(next - '0');
      i += 1;
      if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') number = number * 10 + (text[++i] - '0');
      // A printf format after the number (%1!s!) is for the string itself.
      if (i + 1 < text.size() && text[i + 1] == '!') {
        size_t close = text.find('!', i + 2);
        if (close != std::string::npos) i = close;
      }
      if (number <= strings.size()) {
        result += strings[number - 1];
      } else {
        result += text.substr(start, i - start + 1);
      }
    } else if (next == 'n') {
      result += "\r\n";
      ++i;
    } else if (next == 'r') {
      result += '\r';
      ++i;
    } else if (next == 't') {
      result += '\t';
      ++i;
    } else if (next == '0') {
      return result;  // ends the message without a line end
    } else if (next == '%' || next == '.' || next == '!' || next == ' ') {
      result += next;
      ++i;
    } else {
      result += c;
    }
  }
  return result;
}

std::string EventMessageFileOf(const std::string& log, const std::string& source) {
  KeyPath path = ParseKeyPath(kEventlogKey).Child(log).Child(source);
  ScopedKey key;
  if (key.Open(path, KEY_READ) != ERROR_SUCCESS) return std::string();
  RegValue value;
  if (ReadValue(key.Get(), "EventMessageFile", &value) != ERROR_SUCCESS) return std::string();
  return TextOf(value.data);
}

std::string RenderEventMessage(const std::string& log, const EventRecord& record) {
  std::string files = ExpandEnvironment(EventMessageFileOf(log, record.source));
  std::string text;
  for (size_t start = 0; start < files.size() && text.empty();) {
    size_t end = files.find(';', start);
    std::string file = files.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!file.empty()) text = TemplateFrom(file, record.eventId);
    start = end == std::string::npos ? files.size() : end + 1;
  }
  if (text.empty()) {
    char id[16];
    snprintf(id, sizeof id, "0x%08lX", static_cast<unsigned long>(record.eventId));
    text = "(no text for event " + std::string(id) + " of source " + record.source +
           (files.empty() ? " without a message file" : " in " + files) + ")";
    for (const std::string& insert : record.strings) text += "\r\n" + insert;
    return text;
  }
  std::string message = InsertEventStrings(text, record.strings);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

}  // namespace vkdiag
