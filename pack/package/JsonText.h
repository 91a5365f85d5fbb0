#pragma once

#include <string>

namespace JsonText {

// UTF-8 text as a JSON string: quotes, backslashes and control characters
// escaped.
std::string quoted(const std::string& utf8);

} // namespace JsonText
