#pragma once

#include "tstrings.h"

#include <optional>

// A GUID's text in its canonical form, braced and upper case, from any of the
// forms Windows takes: braced with dashes, or without braces, or without
// dashes as well. Nothing for any other text.
std::optional<tstring> canonicalGuid(const tstring& text);
