#pragma once

#include "tstrings.h"

#include <string>

// YAML for files that other programs read back: every text a double-quoted
// scalar, so that whatever it holds (quotes, colons, "#", line breaks, any
// language) reads back as it was.
namespace YamlText {

// The text as a double-quoted YAML scalar in UTF-8, on one line: quotes,
// backslashes, control characters, the Unicode line and paragraph
// separators and what YAML does not allow in a file are escaped. A lone
// surrogate, which UTF-8 cannot carry, becomes U+FFFD.
std::string quoted(const tstring& text);

} // namespace YamlText
