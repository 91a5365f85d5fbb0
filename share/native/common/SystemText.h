#pragma once

#include "tstrings.h"

#include <cstdarg>
#include <optional>
#include <string>

// The text services that only the platform has; one half for Windows, one for
// Unix systems.
namespace SystemText {

// Wide text in the system's ANSI code page, which Unix systems do not have:
// there it is UTF-8. Text that the system refuses to convert gives the empty
// text.
std::string toAnsiCodePage(const tstring& text);
tstring fromAnsiCodePage(const std::string& text);

// The C runtime's description of an errno value; empty when it has none.
std::string errnoDescription(int code);

// The platform's printf-style wide formatter; nothing for a format that it
// refuses.
std::optional<tstring> formatWide(const wchar_t* format, va_list args);

} // namespace SystemText
