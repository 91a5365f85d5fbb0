#include "Transformer.h"

#include "CompoundFileCheck.h"
#include "CompoundFileReader.h"
#include "CompoundFileWriter.h"
#include "DamagedFile.h"
#include "ErrorHandling.h"
#include "InputChecks.h"
#include "MsiDatabase.h"
#include "PackFiles.h"
#include "PackageInfo.h"
#include "TransformBuilder.h"

#include <memory>

namespace {

// A transform is a package's companion: the installer reads it whole, and
// velkin-pack keeps to the size it packs.
constexpr uint64_t largestTransform = (uint64_t{1} << 31) - 1;

// One package, read twice: by the host's reader, whose facts judge the
// product, and by velkin-pack's own reading of its tables and streams.
struct ReadPackage {
    explicit ReadPackage(const tstring& path) : path(path), file(path) {
        try {
            reader.reset(new CompoundFileReader(file, 0, file.size()));
            database.reset(new MsiDatabase(reader->root()));
        } catch (const VkError<DamagedFileError>& e) {
            VK_THROW_DAMAGED(path << " is not a Windows Installer package: " << e.originalMessage());
        }
        info = packageInfo(readPackageFacts(path), path);
        // The tables read here are the ones the installer reads.
        if (tstrings::fromUtf8(database->property("ProductCode")) != info.productCode) {
            VK_THROW_DAMAGED(path << " is not a Windows Installer package: its Property table reads otherwise "
                                  << "than the installer reads it");
        }
    }

    tstring path;
    InputFile file;
    std::unique_ptr<CompoundFileReader> reader;
    std::unique_ptr<MsiDatabase> database;
    PackageInfo info;
};

void requireSameProduct(const ReadPackage& base, const ReadPackage& variant) {
    const auto differ = [&](const char* property, const tstring& a, const tstring& b) {
        VK_THROW_MSG(variant.path << " has the " << property << " " << (b.empty() ? L"(none)" : b) << " and "
                                  << base.path << " " << (a.empty() ? L"(none)" : a)
                                  << ": a language variant keeps its product's ProductCode and UpgradeCode");
    };
    if (base.info.productCode != variant.info.productCode) {
        differ("ProductCode", base.info.productCode, variant.info.productCode);
    }
    if (base.info.upgradeCode != variant.info.upgradeCode) {
        differ("UpgradeCode", base.info.upgradeCode, variant.info.upgradeCode);
    }
}

} // namespace

void makeTransform(const tstring& base, const tstring& variant, const tstring& output) {
    refuseOutputOverInput(output, base, L"the base package");
    refuseOutputOverInput(output, variant, L"the variant package");
    requireInputFile(base, L"The base package");
    requireInputFile(variant, L"The variant package");
    if (PackFiles::isSameFile(base, variant)) {
        VK_THROW_MSG(base << " and " << variant << " are one file: there is nothing to transform");
    }
    const ReadPackage from(base);
    const ReadPackage to(variant);
    requireSameProduct(from, to);

    const TransformSides sides{*from.database, *to.database, base, variant};
    const TransformContents transform = buildTransform(sides, transformSummary(sides));
    const uint64_t size = compoundFileSize(transform.storage);
    if (size > largestTransform) {
        VK_THROW_MSG("The transform from " << base << " to " << variant << " would take " << size
                                           << " bytes, more than the 2 GiB a transform may have");
    }
    StagedOutput staged(output);
    staged.reserve(size);
    uint64_t at = 0;
    writeCompoundFile(transform.storage, [&](const uint8_t* bytes, size_t count) {
        staged.write(at, bytes, count);
        at += count;
    });
    // What velkin-pack writes, it checks as it checks what it reads.
    checkCompoundFile(staged, 0, staged.size());
    staged.publish();
}
