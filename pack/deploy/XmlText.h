#pragma once

#include "tstrings.h"

#include <string>

namespace XmlText {

// The text as UTF-8 XML character data, fit for an element or an attribute
// in double quotes: markup characters as entities, a carriage return as a
// character reference (a reader would make it a line feed). A control
// character that XML 1.0 cannot carry throws an error for the user naming
// `what`.
std::string escaped(const tstring& text, const std::string& what);

} // namespace XmlText
