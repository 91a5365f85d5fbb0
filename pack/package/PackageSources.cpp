#include "PackageSources.h"

#include "ErrorHandling.h"
#include "VisibleText.h"

#include <algorithm>

namespace {

// Summary word count: files are compressed unless a file says otherwise.
constexpr int32_t compressedByDefault = 0x2;
// File attributes that override the word count.
constexpr int32_t fileNoncompressed = 0x2000;
constexpr int32_t fileCompressed = 0x4000;

const char* const notBeside = "msiexec looks for sources next to the package, and a setup "
                              "executable runs the package alone from a private temporary directory";

// The long name of a "short|long" file name.
tstring longName(const tstring& fileName) {
    const size_t bar = fileName.find(L'|');
    return bar == tstring::npos ? fileName : fileName.substr(bar + 1);
}

// "a, b, c, d, e and 3 more"
tstring listOf(const std::vector<tstring>& names) {
    constexpr size_t named = 5;
    tstrings::TextBuilder list;
    for (size_t i = 0; i < names.size() && i < named; ++i) {
        list << (i == 0 ? L"" : L", ") << names[i];
    }
    if (names.size() > named) {
        list << " and " << names.size() - named << " more";
    }
    return list.str();
}

const char* files(size_t count) { return count == 1 ? " file" : " files"; }

} // namespace

void requireEmbeddedSources(const RawPackageFacts& facts, const tstring& msiPath) {
    std::vector<RawPackageFacts::Disk> disks = facts.disks;
    std::sort(disks.begin(), disks.end(), [](const RawPackageFacts::Disk& a, const RawPackageFacts::Disk& b) {
        return a.lastSequence < b.lastSequence;
    });
    for (const RawPackageFacts::Disk& disk : disks) {
        // A cabinet stored in the package is named after its stream, with "#".
        if (!disk.cabinet.empty() && disk.cabinet[0] != L'#') {
            VK_THROW_MSG("The package " << msiPath << " keeps its cabinet " << excerpt(disk.cabinet)
                                        << " outside itself: " << notBeside
                                        << "; embed the cabinet in the package");
        }
    }
    const bool compressedDefault = (facts.wordCount & compressedByDefault) != 0;
    std::vector<tstring> beside;
    std::vector<tstring> nowhere;
    for (const RawPackageFacts::File& file : facts.files) {
        const bool compressed = (file.attributes & fileNoncompressed) == 0 &&
                                (compressedDefault || (file.attributes & fileCompressed) != 0);
        const auto disk = std::find_if(disks.begin(), disks.end(), [&file](const RawPackageFacts::Disk& d) {
            return file.sequence <= d.lastSequence;
        });
        if (disk == disks.end()) {
            nowhere.push_back(excerpt(longName(file.fileName)));
        } else if (!compressed || disk->cabinet.empty()) {
            beside.push_back(excerpt(longName(file.fileName)));
        }
    }
    if (!nowhere.empty()) {
        VK_THROW_MSG("The package " << msiPath << " has " << nowhere.size() << files(nowhere.size())
                                    << " on no disk of its Media table (" << listOf(nowhere)
                                    << "): msiexec finds no source for them; give every file a sequence "
                                       "number that a Media row covers");
    }
    if (!beside.empty()) {
        VK_THROW_MSG("The package " << msiPath << " keeps " << beside.size() << files(beside.size())
                                    << " uncompressed outside itself (" << listOf(beside) << "): "
                                    << notBeside << "; compress them into an embedded cabinet");
    }
}
