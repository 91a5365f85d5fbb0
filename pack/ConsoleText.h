#pragma once

#include <string>

// Writes UTF-8 text to standard output or standard error: as UTF-16 to a
// console, which would otherwise read the bytes in its own code page, and as
// it is to a file or pipe.
void writeOut(const std::string& utf8);
void writeError(const std::string& utf8);
