#pragma once

#include "FileContents.h"

#include <string>

// What a file holds, as text for people, lines of "label: value" in UTF-8,
// the values' control characters escaped.
std::string textReport(const FileContents& contents);

// What a file holds, as one JSON object in UTF-8, for scripts. Its keys are always
// all there (the README lists them); a value the file does not have is null.
std::string jsonReport(const FileContents& contents);
