#pragma once

#include <string>

// Writes UTF-8 text to standard output or standard error so that every
// character shows: on Windows as UTF-16 to a console, which would otherwise
// read the bytes in its own code page, and as it is to a file or a pipe.
// The streams are the C runtime's, so that a console that a GUI program
// opened for itself (and reopened the streams onto) is found too. Nothing to
// report a failure to: these streams are where it would go.
void writeOut(const std::string& utf8);
void writeError(const std::string& utf8);

// Standard output for a program whose output is its result, which must not
// be lost without a word: a failure to write it (a full disk, an I/O error)
// throws. A reader that has gone away (a closed pipe) wanted no more of it,
// and is no failure.
void writeResult(const std::string& utf8);

// How a line of text ends on this platform: "\r\n" on Windows, as the C
// runtime's text streams end it, "\n" elsewhere.
extern const char* const textLineEnd;

// Where text goes, UTF-8 and line feeds included.
class TextOutput {
public:
    virtual ~TextOutput() = default;
    virtual void write(const std::string& utf8) = 0;
};

// Standard output as a text stream: each line feed is written as the
// platform's line end.
TextOutput& standardTextOutput();
