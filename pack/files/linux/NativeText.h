#pragma once

#include "tstrings.h"

#include <string>

// File names and arguments on Linux are bytes, mostly UTF-8. They become text
// and go back to bytes unchanged, whatever they hold: a byte that is not part
// of valid UTF-8 stands as a lone low surrogate (U+DC80 to U+DCFF) while it is
// text.
tstring fromNative(const std::string& bytes);
std::string toNative(const tstring& text);
