#pragma once

#include "ByteSource.h"
#include "tstrings.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// Everything velkin-pack reads from an installer package, as the package
// stores it, read in one go by the host's reader: msi.dll on Windows, libmsi
// on Linux. What it tells of the product is judged apart (PackageInfo).
struct RawPackageFacts {
    struct Disk {
        int32_t lastSequence;
        tstring cabinet;
    };
    struct File {
        tstring fileName;
        // 0 when the column is empty.
        int32_t attributes;
        int32_t sequence;
    };

    // The Property table's values of `propertyNames`; a property the
    // package does not set is absent.
    std::map<tstring, tstring> properties;
    // The first name that the Property table has on two rows, of any
    // property; empty when none. The hosts' readers would each take a
    // different one of the two values.
    tstring repeatedProperty;
    // The summary information's revision number (the package code) and word
    // count (0 when not set).
    tstring revisionNumber;
    int32_t wordCount = 0;
    // The summary information's subject, comments and template (platform and
    // languages, as in "x64;1033"); empty when not set.
    tstring subject;
    tstring comments;
    tstring platformTemplate;
    // The Media and File tables; empty when the package has none.
    std::vector<Disk> disks;
    std::vector<File> files;
    // The package's structured storage holds an Authenticode signature.
    bool isSigned = false;
};

// The properties a reader reads.
const std::vector<tstring>& propertyNames();

// A reading of a package file's facts, started at once by the host's reader
// and waited for by facts(), so that velkin-pack can look at the package in
// other ways meanwhile. A file that is no package gives a DamagedFileError
// for the user naming the file; a reader that fails otherwise (it crashed,
// took too long, or the file cannot be read) gives its own reason.
class PackageReading {
public:
    explicit PackageReading(const tstring& path);
    ~PackageReading();

    PackageReading(const PackageReading&) = delete;
    PackageReading& operator=(const PackageReading&) = delete;

    // Once.
    RawPackageFacts facts();

    struct Pending;

private:
    tstring path_;
    std::unique_ptr<Pending> pending_;
};

RawPackageFacts readPackageFacts(const tstring& path);

// The compound file of a package, `size` bytes of `file` from `offset` on,
// checked as both hosts check it before their reader sees it (see
// checkCompoundFile); damage is a DamagedFileError for the user that says
// what `shownPath` is not.
void requireSoundPackage(const ByteSource& file, uint64_t offset, uint64_t size, const tstring& shownPath);

// The same for a package inside a larger file, `size` bytes from `offset`
// on (the package of a setup executable); the error names the larger file.
RawPackageFacts readEmbeddedPackageFacts(const tstring& path, uint64_t offset, uint64_t size);
