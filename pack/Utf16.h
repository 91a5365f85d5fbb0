#pragma once

#include "tstrings.h"

#include <string>

// Text as UTF-16 code units, the form Windows file formats store: a tstring
// is UTF-16 already where wchar_t has 16 bits, and code points where it has
// 32.
std::u16string toUtf16(const tstring& text);
