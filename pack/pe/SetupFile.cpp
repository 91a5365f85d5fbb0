#include "SetupFile.h"

#include "Authenticode.h"
#include "DamagedFile.h"
#include "PeHeaders.h"
#include "ResourceTree.h"
#include "SetupKeys.h"

#include <algorithm>

namespace {

// A product code is 38 bytes, a list of languages a few hundred; whatever a
// damaged resource holds beyond this is not shown.
constexpr uint32_t productCodeLimit = 1024;
constexpr uint32_t languagesLimit = 4096;

const ResourceEntry* find(const std::vector<ResourceEntry>& entries, const ResourceId& type,
                          const ResourceId& name) {
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const ResourceEntry& entry) {
        return entry.key.type.matches(type) && entry.key.name.matches(name);
    });
    return found == entries.end() ? nullptr : &*found;
}

} // namespace

SetupFile::SetupFile(const ByteSource& file, const tstring& path) {
    try {
        const PeHeaders headers(file);
        const std::vector<ResourceEntry> entries = readResourceTree(file, headers);
        if (!find(entries, SetupKeys::rcdata(), SetupKeys::stubMarker())) {
            VK_THROW_DAMAGED("it was not made from a Velkin setup stub");
        }
        const ResourceEntry* package = find(entries, SetupKeys::rcdata(), SetupKeys::package().name);
        if (!package) {
            VK_THROW_DAMAGED("it carries no package");
        }
        try {
            packageOffset_ = headers.fileOffset(package->rva, package->size);
        } catch (const VkError<DamagedFileError>&) {
            // A package that starts in its section and runs past the data
            // there was cut short with the file; one that starts in no
            // section is damaged otherwise, as fileOffset says.
            if (headers.sectionAt(package->rva) == headers.sections().size()) {
                throw;
            }
            VK_THROW_DAMAGED("its package lies beyond the end of the file (the file is cut short)");
        }
        packageSize_ = package->size;
        const AuthenticodeSignature signature = readAuthenticodeSignature(file, headers);
        isSigned_ = signature.valid();
        signatureProblem_ = signature.problem;
        if (const ResourceEntry* code = find(entries, SetupKeys::rcdata(), SetupKeys::productCode().name)) {
            const uint32_t size = std::min(code->size, productCodeLimit);
            const std::vector<uint8_t> bytes = file.bytes(headers.fileOffset(code->rva, size), size);
            productCode_.assign(bytes.begin(), bytes.end());
        }
        if (const ResourceEntry* list = find(entries, SetupKeys::rcdata(), SetupKeys::languages().name)) {
            const uint32_t size = std::min(list->size, languagesLimit);
            const std::vector<uint8_t> bytes = file.bytes(headers.fileOffset(list->rva, size), size);
            languages_.assign(bytes.begin(), bytes.end());
        }
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_DAMAGED(path << " is not a Velkin setup executable: " << e.originalMessage());
    }
}
