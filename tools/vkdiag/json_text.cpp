#include "json_text.h"

#include <stdio.h>

#include "terminal.h"

namespace vkdiag {

namespace {

// DEL and the C1 controls occur only inside strings, since the rest of a
// JSON text is ASCII.
std::string EscapeJsonControls(const std::string& json) {
  std::string escaped;
  escaped.reserve(json.size());
  for (size_t i = 0; i < json.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(json[i]);
    unsigned char next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
    char code[8];
    if (c == 0x7F) {
      escaped += "\\u007f";
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      snprintf(code, sizeof code, "\\u%04x", next);
      escaped += code;
      ++i;
    } else {
      escaped += json[i];
    }
  }
  return escaped;
}

}  // namespace

std::string JsonText(const nlohmann::ordered_json& value) {
  const bool asciiOnly = HighBytesAreControls();
  return EscapeJsonControls(value.dump(-1, ' ', asciiOnly, nlohmann::ordered_json::error_handler_t::replace));
}

}  // namespace vkdiag
