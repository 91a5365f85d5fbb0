#pragma once

#include "tstrings.h"

#include <string>

// Text that came from a file or a command line (a package's strings, a path),
// made fit for a terminal: every character that could move the cursor, clear
// the screen, start a line or reorder what is shown (C0 and C1 controls, DEL,
// line and paragraph separators, bidirectional overrides) is written as an
// escape, "\x1B" or "\u202E"; everything else stays as it is. UTF-8 in, UTF-8
// out.
std::string visibleText(const std::string& utf8);

// A value from a file inside a message: a name or code of thousands of
// characters would fill the screen with one line, so past `limit`
// characters it is cut, and "..." says so.
tstring excerpt(const tstring& value, size_t limit = 256);
