#include "SetupStub.h"

#include "DamagedFile.h"
#include "ErrorHandling.h"
#include "SetupKeys.h"

#include <algorithm>

namespace {

// A stub is a few hundred KiB; a file far beyond that is no stub, and is
// not read into memory.
constexpr uint64_t sizeLimit = 64 * 1024 * 1024;

std::vector<uint8_t> readWhole(const ByteSource& file, const tstring& path) {
    if (file.size() > sizeLimit) {
        VK_THROW_MSG("The setup stub " << path << " is no Velkin setup stub: it has " << file.size()
                                       << " bytes");
    }
    return file.bytes(0, static_cast<size_t>(file.size()));
}

PeHeaders readHeaders(const std::vector<uint8_t>& bytes, const tstring& path) {
    try {
        return PeHeaders(MemoryBytes(bytes));
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_MSG("The setup stub " << path << " is no Velkin setup stub: " << e.originalMessage());
    }
}

// Whether a data directory other than the base relocations lies in the
// section: moving it would leave that directory pointing at the old place.
bool pointedAtByAnotherDirectory(const PeHeaders& headers, size_t section) {
    for (size_t index = 0; index < PeHeaders::directoryLimit; ++index) {
        const auto directory = static_cast<PeHeaders::Directory>(index);
        if (directory != PeHeaders::Relocations && directory != PeHeaders::Certificates &&
            headers.directory(directory).size != 0 && headers.sectionAt(headers.directory(directory).rva) == section) {
            return true;
        }
    }
    return false;
}

// A signature a vendor or user put on the stub: its certificate table, at
// the end of the file right after the sections (padded to 8 bytes), where
// signers put it. Any other place is refused with the rest that follows the
// sections.
bool certificateTableEndsFile(const std::vector<uint8_t>& bytes, const PeHeaders& headers) {
    const PeDirectory table = headers.directory(PeHeaders::Certificates);
    const uint64_t sections = headers.endOfSections();
    return table.size != 0 && table.rva >= sections && table.rva - sections < 8 &&
           uint64_t{table.rva} + table.size == bytes.size() &&
           std::all_of(bytes.begin() + static_cast<ptrdiff_t>(sections),
                       bytes.begin() + static_cast<ptrdiff_t>(table.rva), [](uint8_t b) { return b == 0; });
}

} // namespace

SetupStub::SetupStub(const ByteSource& file, const tstring& path)
    : bytes_(readWhole(file, path)), headers_(readHeaders(bytes_, path)) {
    // A setup made from it is new bytes, which that signature does not
    // cover: it goes, table and directory entry, and the setup is signed
    // anew (or not at all).
    if (certificateTableEndsFile(bytes_, headers_)) {
        bytes_.resize(static_cast<size_t>(headers_.endOfSections()));
        std::fill_n(bytes_.begin() + static_cast<ptrdiff_t>(headers_.directoryOffset(PeHeaders::Certificates)),
                    PeFormat::DataDirectory::entrySize, uint8_t{0});
        headers_ = readHeaders(bytes_, path);
        signatureDropped_ = true;
    }
    const auto refuse = [&path](const std::string& reason) {
        VK_THROW_MSG("The setup stub " << path << " cannot carry a package: " << reason);
    };
    try {
        resources_ = readResourceTree(MemoryBytes(bytes_), headers_);
        for (const ResourceEntry& entry : resources_) {
            headers_.fileOffset(entry.rva, entry.size);
        }
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_MSG("The setup stub " << path << " is no Velkin setup stub: " << e.originalMessage());
    }
    const bool marked = std::any_of(resources_.begin(), resources_.end(), [](const ResourceEntry& entry) {
        return entry.key.type.matches(SetupKeys::rcdata()) &&
               entry.key.name.matches(SetupKeys::stubMarker());
    });
    if (!marked) {
        VK_THROW_MSG("The setup stub " << path
                                       << " is no Velkin setup stub: it is another program (velkin-setup.exe is the stub)");
    }

    const std::vector<PeSection>& sections = headers_.sections();
    const PeDirectory directory = headers_.directory(PeHeaders::Resources);
    resourceSection_ = headers_.sectionAt(directory.rva);
    if (resourceSection_ == sections.size() || sections[resourceSection_].virtualAddress != directory.rva) {
        refuse("its resource directory does not start a section of its own");
    }
    const PeSection& resources = sections[resourceSection_];
    const PeDirectory relocations = headers_.directory(PeHeaders::Relocations);
    for (size_t i = 0; i < sections.size(); ++i) {
        const PeSection& section = sections[i];
        if (i > resourceSection_) {
            // Only the base relocations can move: nothing but their
            // directory points into them, and what they point at stays put.
            if (i != resourceSection_ + 1 || headers_.sectionAt(relocations.rva) != i ||
                pointedAtByAnotherDirectory(headers_, i)) {
                refuse("the section " + section.name + " follows its resources and cannot move");
            }
            if (section.sizeOfRawData != 0 && section.pointerToRawData < resources.rawEnd()) {
                refuse("the section " + section.name + " lies before its resources in the file");
            }
        } else if (i < resourceSection_ && section.sizeOfRawData != 0 &&
                   section.rawEnd() > resources.pointerToRawData) {
            refuse("the section " + section.name + " lies after its resources in the file");
        }
    }
    if (headers_.symbolTable() != 0 || headers_.directory(PeHeaders::Certificates).size != 0 ||
        headers_.endOfSections() != bytes_.size()) {
        refuse("data follows its sections (a symbol table, a signature or appended data)");
    }
}

std::vector<uint8_t> SetupStub::data(const ResourceEntry& entry) const {
    const uint64_t offset = headers_.fileOffset(entry.rva, entry.size);
    return std::vector<uint8_t>(bytes_.begin() + static_cast<ptrdiff_t>(offset),
                                bytes_.begin() + static_cast<ptrdiff_t>(offset + entry.size));
}
