#include "TransformInputs.h"

#include "CompoundFileWriter.h"
#include "DamagedFile.h"
#include "ErrorHandling.h"
#include "InputChecks.h"

ReadPackage::ReadPackage(const tstring& path) : path(path), file(path) {
    try {
        reader.reset(new CompoundFileReader(file, 0, file.size()));
        database.reset(new MsiDatabase(reader->root()));
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_DAMAGED(path << " is not a Windows Installer package: " << e.originalMessage());
    }
    facts = readPackageFacts(path);
    info = packageInfo(facts, path);
    // The tables read here are the ones the installer reads.
    if (tstrings::fromUtf8(database->property("ProductCode")) != info.productCode) {
        VK_THROW_DAMAGED(path << " is not a Windows Installer package: its Property table reads otherwise "
                              << "than the installer reads it");
    }
}

void checkTransformFiles(const tstring& base, const tstring& variant, const tstring& output) {
    refuseOutputOverInput(output, base, L"the base package");
    refuseOutputOverInput(output, variant, L"the variant package");
    requireInputFile(base, L"The base package");
    requireInputFile(variant, L"The variant package");
    if (PackFiles::isSameFile(base, variant)) {
        VK_THROW_MSG(base << " and " << variant << " are one file: there is nothing to transform");
    }
}

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

TransformContents transformBetween(const ReadPackage& base, const ReadPackage& variant) {
    const TransformSides sides{*base.database, *variant.database, base.path, variant.path};
    TransformContents transform = buildTransform(sides, transformSummary(sides));
    const uint64_t size = compoundFileSize(transform.storage);
    if (size > largestTransform) {
        VK_THROW_MSG("The transform from " << base.path << " to " << variant.path << " would take " << size
                                           << " bytes, more than the 2 GiB a transform may have");
    }
    return transform;
}
