#include "PackageSources.h"

#include "ErrorHandling.h"
#include "MsiDb.h"
#include "MsiSummaryInfo.h"
#include "PackageInfo.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Summary word count: files are compressed unless a file says otherwise.
constexpr int32_t compressedByDefault = 0x2;
// File attributes that override the word count.
constexpr int32_t fileNoncompressed = 0x2000;
constexpr int32_t fileCompressed = 0x4000;

const char* const notBeside = "msiexec looks for sources next to the package, and a setup "
                              "executable runs the package alone from a private temporary directory";

struct Disk {
    int32_t lastSequence;
    tstring cabinet;
};

bool hasTable(const msi::Database& db, const tstring& table) {
    msi::DatabaseRecord name(1);
    name.setString(1, table);
    msi::DatabaseView view(db, L"SELECT `Name` FROM `_Tables` WHERE `Name` = ?", name);
    return !view.tryFetch().empty();
}

// In the order of their sequence numbers.
std::vector<Disk> readDisks(const msi::Database& db) {
    std::vector<Disk> disks;
    if (!hasTable(db, L"Media")) {
        return disks;
    }
    msi::DatabaseView view(db, L"SELECT `LastSequence`, `Cabinet` FROM `Media`");
    for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
        disks.push_back(Disk{row.getInteger(1), row.getString(2)});
    }
    std::sort(disks.begin(), disks.end(),
              [](const Disk& a, const Disk& b) { return a.lastSequence < b.lastSequence; });
    return disks;
}

// The long name of a "short|long" file name.
tstring longName(const tstring& fileName) {
    const size_t bar = fileName.find(L'|');
    return bar == tstring::npos ? fileName : fileName.substr(bar + 1);
}

// Files the installer copies from beside the package: uncompressed ones, and
// those on a disk without a cabinet.
std::vector<tstring> filesBeside(const msi::Database& db, const std::vector<Disk>& disks) {
    std::vector<tstring> beside;
    if (!hasTable(db, L"File")) {
        return beside;
    }
    const bool compressedDefault =
        (msi::SummaryInfo(db).getInteger(msi::SummaryInfo::WordCount, 0) & compressedByDefault) != 0;
    msi::DatabaseView view(db, L"SELECT `FileName`, `Attributes`, `Sequence` FROM `File`");
    for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
        const int32_t attributes = row.isNull(2) ? 0 : row.getInteger(2);
        const bool compressed = (attributes & fileNoncompressed) == 0 &&
                                (compressedDefault || (attributes & fileCompressed) != 0);
        const int32_t sequence = row.getInteger(3);
        const auto disk = std::find_if(disks.begin(), disks.end(), [sequence](const Disk& d) {
            return sequence <= d.lastSequence;
        });
        if (!compressed || (disk != disks.end() && disk->cabinet.empty())) {
            beside.push_back(longName(row.getString(1)));
        }
    }
    return beside;
}

} // namespace

void requireEmbeddedSources(const tstring& msiPath) {
    const std::unique_ptr<msi::Database> db = openPackage(msiPath);
    const std::vector<Disk> disks = readDisks(*db);
    for (const Disk& disk : disks) {
        // A cabinet stored in the package is named after its stream, with "#".
        if (!disk.cabinet.empty() && disk.cabinet[0] != L'#') {
            VK_THROW_MSG("The package " << msiPath << " keeps its cabinet " << disk.cabinet
                                        << " outside itself: " << notBeside
                                        << "; embed the cabinet in the package");
        }
    }
    const std::vector<tstring> beside = filesBeside(*db, disks);
    if (!beside.empty()) {
        constexpr size_t named = 5;
        tstrings::TextBuilder list;
        for (size_t i = 0; i < beside.size() && i < named; ++i) {
            list << (i == 0 ? L"" : L", ") << beside[i];
        }
        if (beside.size() > named) {
            list << " and " << beside.size() - named << " more";
        }
        VK_THROW_MSG("The package " << msiPath << " keeps " << beside.size()
                                    << (beside.size() == 1 ? " file" : " files")
                                    << " uncompressed outside itself (" << list << "): "
                                    << notBeside << "; compress them into an embedded cabinet");
    }
}
