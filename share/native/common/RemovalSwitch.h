#pragma once

#include "tstrings.h"

// Whether the setup's arguments (the text after its own name) ask for the
// removal of its product: one of them, read as msiexec reads the line
// (CommandLine::msiexecTokens), is exactly "uninstall", case and all. That is
// the reading that decides everything else (what msiexec does with a property
// value, a transform, a quiet switch): a word inside a quoted property value
// never removes a product, whatever the C runtime's split would make of the
// line, and a word that msiexec would read on its own always does.
bool selectsRemoval(const tstring& arguments);
