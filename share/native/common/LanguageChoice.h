#pragma once

#include "tstrings.h"

#include <cstdint>
#include <string>
#include <vector>

// Which of the languages a setup offers suits the user. A language is a
// Windows language identifier (LANGID): the primary language in the low 10
// bits, the sublanguage (the country or script) above them. Nothing here asks
// the system: the user's languages and the offered ones are given.
namespace LanguageChoice {

using LanguageId = uint16_t;

// A LANGID that names a language: one of 16 bits whose primary language is
// neither neutral (which also covers the "user default", "system default" and
// "custom" placeholders) nor the invariant locale.
bool isLanguage(uint32_t value);

// The list of languages a setup carries: decimal LANGIDs in ASCII, joined by
// commas, the base language first ("1033,1031,1036"), no blanks, no
// terminator, no leading zeros. Throws, saying what is wrong, for an empty
// item, anything but digits, a value that is no language, or a language
// named twice.
std::vector<LanguageId> parseList(const std::string& text);

enum class Reason {
    Exact,    // the setup offers one of the user's languages itself
    Primary,  // it offers another variant of one of them
    Base,     // neither: the base language
};

struct Choice {
    LanguageId language;
    Reason reason;
    // The user's language that led to the choice; 0 for Reason::Base.
    LanguageId wanted;
    // The language is the base, for whatever reason: the package installs
    // in it as it is, without a transform.
    bool base;
};

// The user's languages in order of preference against the offered ones
// (the base first, non-empty): the first of the user's languages that is
// offered exactly; else the first of them whose primary language is offered
// (the first variant offered), except that Chinese in Simplified and in
// Traditional characters never stand in for each other; else the base.
Choice choose(const std::vector<LanguageId>& preferred, const std::vector<LanguageId>& offered);

// "1031 (0x0407)", for the log.
tstring describe(LanguageId language);
// "1031 (0x0407), 1036 (0x040C)"; "none" for an empty list.
tstring describe(const std::vector<LanguageId>& languages);
// "an exact match for 3079 (0x0C07)", and the like.
tstring describe(const Choice& choice);

// What msiexec is given to apply the transform that the multilingual package
// carries for `language`: "TRANSFORMS=:" and its decimal LANGID, the name of
// its substorage.
tstring transformsProperty(LanguageId language);

} // namespace LanguageChoice
