#include "FileContents.h"

#include "DamagedFile.h"
#include "GuidText.h"
#include "CompoundFileReader.h"
#include "InputChecks.h"
#include "LanguageChoice.h"
#include "LanguageTags.h"
#include "PackageSignature.h"
#include "PackFiles.h"
#include "SetupFile.h"

#include <algorithm>
#include <cstring>

namespace {

enum class FileKind { Program, CompoundFile, Other };

// By the first bytes: a program starts with "MZ", a package is a compound
// file.
FileKind sniff(const InputFile& file) {
    static const uint8_t compoundFile[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    uint8_t start[sizeof(compoundFile)] = {};
    file.read(0, start, static_cast<size_t>(std::min<uint64_t>(sizeof(start), file.size())));
    if (file.size() >= 2 && start[0] == 'M' && start[1] == 'Z') {
        return FileKind::Program;
    }
    if (file.size() >= sizeof(compoundFile) && std::memcmp(start, compoundFile, sizeof(compoundFile)) == 0) {
        return FileKind::CompoundFile;
    }
    return FileKind::Other;
}

bool namesProduct(const tstring& code, const tstring& productCode) {
    const std::optional<tstring> canonical = canonicalGuid(code);
    return canonical && *canonical == productCode;
}

// "signed" is a signature that verifies, not a stream of that name.
void judgeSignature(const InputFile& file, uint64_t offset, uint64_t size, FileContents& contents) {
    const CompoundFileReader reader(file, offset, size);
    const PackageSignature signature = readPackageSignature(reader.root());
    contents.package.isSigned = signature.valid();
    contents.signatureProblem = signature.problem;
}

FileContents setupContents(const InputFile& file) {
    const SetupFile setup(file, file.path());
    FileContents result;
    result.isSetup = true;
    try {
        const RawPackageFacts facts =
            readEmbeddedPackageFacts(file.path(), setup.packageOffset(), setup.packageSize());
        result.package = packageInfo(facts, file.path());
        result.languages = templateLanguages(tstrings::toUtf8(facts.platformTemplate));
    } catch (const VkError<DamagedFileError>&) {
        VK_THROW_DAMAGED(file.path() << " is a Velkin setup executable whose package cannot be read");
    }
    if (!setup.languages().empty()) {
        try {
            const std::vector<LanguageChoice::LanguageId> offered = LanguageChoice::parseList(setup.languages());
            result.languages.assign(offered.begin(), offered.end());
            result.offersLanguages = true;
        } catch (const std::exception& e) {
            VK_THROW_DAMAGED(file.path() << " is a Velkin setup executable whose list of languages is damaged: "
                                         << e.what());
        }
    }
    result.packageSize = setup.packageSize();
    try {
        judgeSignature(file, setup.packageOffset(), setup.packageSize(), result);
    } catch (const VkError<DamagedFileError>&) {
        VK_THROW_DAMAGED(file.path() << " is a Velkin setup executable whose package cannot be read");
    }
    result.setupSigned = setup.isSigned();
    result.setupSignatureProblem = setup.signatureProblem();
    // Byte by byte: whatever the resource holds can be shown.
    result.embeddedProductCode = tstrings::widenBytes(setup.productCode());
    result.productCodeMatches = namesProduct(result.embeddedProductCode, result.package.productCode);
    return result;
}

} // namespace

FileContents readFileContents(const tstring& path) {
    requireInputFile(path, L"The file");
    const InputFile file(path);
    switch (sniff(file)) {
    case FileKind::Program:
        return setupContents(file);
    case FileKind::CompoundFile: {
        FileContents result;
        try {
            result.transform = readTransformInfo(file, 0, file.size());
        } catch (const VkError<DamagedFileError>& e) {
            VK_THROW_DAMAGED(path << " is not a Windows Installer package: " << e.originalMessage());
        }
        if (result.transform) {
            result.packageSize = file.size();
            return result;
        }
        const RawPackageFacts facts = readPackageFacts(path);
        result.package = packageInfo(facts, path);
        result.languages = templateLanguages(tstrings::toUtf8(facts.platformTemplate));
        result.packageSize = file.size();
        try {
            judgeSignature(file, 0, file.size(), result);
        } catch (const VkError<DamagedFileError>& e) {
            VK_THROW_DAMAGED(path << " is not a Windows Installer package: " << e.originalMessage());
        }
        return result;
    }
    case FileKind::Other:
        break;
    }
    VK_THROW_MSG(path << " is neither a Windows Installer package nor a Velkin setup executable");
}
