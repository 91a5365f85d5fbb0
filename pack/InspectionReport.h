#pragma once

#include "Inspection.h"

#include <string>

// An inspection as text for people, lines of "label: value" in UTF-8.
std::string textReport(const Inspection& inspection);

// An inspection as one JSON object in UTF-8, for scripts. Its keys are always
// all there (the README lists them); a value the file does not have is null.
std::string jsonReport(const Inspection& inspection);
