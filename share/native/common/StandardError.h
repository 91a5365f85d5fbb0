#pragma once

#include "tstrings.h"

// Writes one line to standard error so that every character shows: a console
// takes the text as UTF-16 (narrow text would go through its code page), a
// file or a pipe gets UTF-8.
void writeStandardErrorLine(const tstring& text);
