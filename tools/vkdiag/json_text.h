// A JSON value as one line for the operator's terminal.
#ifndef VKDIAG_JSON_TEXT_H
#define VKDIAG_JSON_TEXT_H

#include <nlohmann/json.hpp>

#include <string>

namespace vkdiag {

// The value as compact JSON text, bytes that are no UTF-8 replaced. JSON
// escapes the control characters below U+0020 itself; DEL and the C1
// controls (U+0080 to U+009F, which a terminal obeys too) are escaped as
// well, and where the terminal takes the bytes 0x80 to 0x9F for controls
// every character beyond ASCII is written as \uXXXX.
std::string JsonText(const nlohmann::ordered_json& value);

}  // namespace vkdiag

#endif  // VKDIAG_JSON_TEXT_H
