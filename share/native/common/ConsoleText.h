#pragma once

#include <string>

// Writes UTF-8 text to standard output or standard error so that every
// character shows: as UTF-16 to a console, which would otherwise read the
// bytes in its own code page, and as it is to a file or a pipe. The streams
// are the C runtime's, so that a console that a GUI program opened for itself
// (and reopened the streams onto) is found too. Nothing to report a failure
// to: these streams are where it would go.
void writeOut(const std::string& utf8);
void writeError(const std::string& utf8);
