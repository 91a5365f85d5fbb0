#pragma once

#include "tstrings.h"

// A multilingual setup installs in its user's language: its package carries
// a transform to each language besides its base language, which msiexec
// applies when given "TRANSFORMS=:<LANGID>".
namespace LanguageSelection {

// What msiexec is given for the user's `arguments` (an installation): those,
// character for character, and after them " TRANSFORMS=:<LANGID>" when the
// setup offers several languages and the user's languages choose one other
// than the base (LanguageChoice::choose). Nothing is added when the
// arguments set TRANSFORMS themselves (the user's choice wins), when the
// product is installed or advertised (the installer re-applies the
// transforms of that installation, and refuses others), or when the
// arguments end inside quotes (the addition would change the last value).
// Throws when the setup's list of languages is malformed.
tstring msiexecArguments(const tstring& arguments);

} // namespace LanguageSelection
