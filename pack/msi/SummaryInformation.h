#pragma once

#include "ByteSource.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A database's or transform's summary information: a property set of one
// section, whose properties are integers or strings in the set's code page.
struct SummaryInformation {
    enum Property : uint32_t {
        CodePage = 1,
        Title = 2,
        Subject = 3,
        Author = 4,
        Keywords = 5,
        Comments = 6,
        Template = 7,
        LastSavedBy = 8,
        RevisionNumber = 9,
        PageCount = 14,
        WordCount = 15,
        CharacterCount = 16,
        Security = 19,
    };

    std::map<uint32_t, int32_t> integers;
    std::map<uint32_t, std::string> texts;

    std::string text(Property property) const;

    // Throws a DamagedFileError for a stream that is no such property set.
    static SummaryInformation read(const ByteSource& stream);
    // The property set, its properties in the order of their ids: the same
    // properties give the same bytes. The code page, an integer of two bytes,
    // the others of four.
    std::vector<uint8_t> bytes() const;
};

// A summary information stream with some of its text properties given new
// values: its header, every other property (times included, which
// SummaryInformation does not carry) and their order kept byte for byte, a
// replaced property where it was, a new one after the others. For a package
// whose summary must change in a field or two and stay what it was in all
// else. Throws a DamagedFileError for a stream that is no property set of one
// section.
std::vector<uint8_t> replaceSummaryTexts(const ByteSource& stream, const std::map<uint32_t, std::string>& texts);

// The name of the summary information's stream.
extern const char16_t summaryInformationStream[];
