// How an event reads as text wherever it is shown: its type's name, its
// user's SID and its message rendered as an event viewer renders it, from
// the text for its identifier in the source's EventMessageFile with the
// insertion strings put in. The operator's tool shows events so, and the
// POSIX layer sends them so to the system log; one rendering for both lets
// an operator find in the journal or on a collector what the tool shows.
#ifndef VK_SHARED_EVENT_TEXT_H
#define VK_SHARED_EVENT_TEXT_H

#include <vk/platform.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace Vk {

// The key below HKEY_LOCAL_MACHINE under which logs list their sources.
constexpr char kEventlogKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog";

// The name an operator selects a type by: error, warning, information,
// success, audit-success, audit-failure; "type-N" for any other.
inline std::string EventTypeName(WORD type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE: return "error";
    case EVENTLOG_WARNING_TYPE: return "warning";
    case EVENTLOG_INFORMATION_TYPE: return "information";
    case EVENTLOG_SUCCESS: return "success";
    case EVENTLOG_AUDIT_SUCCESS: return "audit-success";
    case EVENTLOG_AUDIT_FAILURE: return "audit-failure";
    default: return "type-" + std::to_string(type);
  }
}

// S-R-I-S-S..., or empty when the bytes are not a SID.
inline std::string SidToText(const BYTE* sid, size_t size) {
  if (size < 8 || sid[0] != 1 || size < 8 + 4u * sid[1]) return std::string();
  unsigned long long authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | sid[i];
  std::string text = "S-1-" + std::to_string(authority);
  for (size_t i = 0; i < sid[1]; ++i) {
    const BYTE* part = sid + 8 + 4 * i;
    unsigned long sub = part[0] | (part[1] << 8) | (part[2] << 16) | (static_cast<unsigned long>(part[3]) << 24);
    text += "-" + std::to_string(sub);
  }
  return text;
}

// Puts the strings into %1 to %99 of a message template. An insert beyond
// the strings the record has stays as it is written: the record's count
// is never passed.
inline std::string InsertEventStrings(const std::string& text, const std::vector<std::string>& strings) {
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
      if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9')
        number = number * 10 + static_cast<size_t>(text[++i] - '0');
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

// The EventMessageFile of a source, as registered (unexpanded); empty
// without one.
inline std::string EventMessageFileOf(const std::string& log, const std::string& source) {
  std::string path = std::string(kEventlogKeyPath) + "\\" + log + "\\" + source;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::string();
  DWORD type = 0;
  DWORD size = 0;
  std::string text;
  if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    text.resize(size);
    if (RegQueryValueExA(key, "EventMessageFile", nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size) ==
        ERROR_SUCCESS)
      text.resize(size);
    else
      text.clear();
  }
  RegCloseKey(key);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
  return text.substr(0, text.find('\0'));
}

// The message of an event. The message file list is expanded with
// `lookup` for %NAME% (getenv; secure_getenv where the caller may run
// set-user-ID). Only message files named by a full path are read. Without
// a message file or a text for the identifier, a note saying so followed
// by the strings, one a line.
inline std::string RenderEventMessage(const std::string& log, const std::string& source, DWORD eventId,
                                      const std::vector<std::string>& strings,
                                      char* (*lookup)(const char*)) {
  std::string registered = EventMessageFileOf(log, source);
  std::string files;
  for (size_t i = 0; i < registered.size(); ++i) {
    size_t close = registered[i] == '%' ? registered.find('%', i + 1) : std::string::npos;
    const char* value = close == std::string::npos || close == i + 1
                            ? nullptr
                            : lookup(registered.substr(i + 1, close - i - 1).c_str());
    if (value) {
      files += value;
      i = close;
    } else {
      files += registered[i];
    }
  }
  std::string text;
  for (size_t start = 0; start < files.size() && text.empty();) {
    size_t end = files.find(';', start);
    std::string file = files.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? files.size() : end + 1;
    // A relative name would be looked for from the current directory, which
    // whoever starts a set-user-ID program chooses; registration writes
    // full paths, so only those are read.
    if (file.empty() || PathIsRelativeA(file.c_str())) continue;
    HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) continue;
    char* found = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  module, eventId, 0, reinterpret_cast<LPSTR>(&found), 0, nullptr);
    if (length && found) text.assign(found, length);
    if (found) LocalFree(found);
    FreeLibrary(module);
  }
  if (text.empty()) {
    char id[16];
    snprintf(id, sizeof id, "0x%08lX", static_cast<unsigned long>(eventId));
    text = "(no text for event " + std::string(id) + " of source " + source +
           (files.empty() ? " without a message file" : " in " + files) + ")";
    for (const std::string& insert : strings) text += "\r\n" + insert;
    return text;
  }
  std::string message = InsertEventStrings(text, strings);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

}  // namespace Vk

#endif  // VK_SHARED_EVENT_TEXT_H
