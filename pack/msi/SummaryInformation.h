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

// The name of the summary information's stream.
extern const char16_t summaryInformationStream[];
