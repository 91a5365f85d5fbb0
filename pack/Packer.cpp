#include "Packer.h"

#include "ErrorHandling.h"
#include "IconResource.h"
#include "InputChecks.h"
#include "PackFiles.h"
#include "PackageInfo.h"
#include "PackageSources.h"
#include "PathUtils.h"
#include "SetupFile.h"
#include "SetupKeys.h"
#include "SetupLayout.h"
#include "SetupResourceNames.h"
#include "SetupStub.h"
#include "VersionResource.h"

#include <algorithm>
#include <optional>

namespace {

// A version record and product code take a few KiB at most; a package this
// far below the limit that a stub's tree leaves fits whatever they hold.
constexpr uint64_t copyAheadMargin = 64 * 1024;

ResourceKey numbered(uint16_t type, uint16_t name) {
    return ResourceKey{ResourceId::of(type), ResourceId::of(name), SetupResourceNames::language};
}

std::vector<uint8_t> versionRecord(const PackageInfo& product, const tstring& output) {
    VersionInfo info;
    info.version = product.productVersion;
    const tstring description =
        product.productName.empty() ? L"Setup" : product.productName + L" Setup";
    info.strings = {{L"CompanyName", product.manufacturer},
                    {L"FileDescription", description},
                    {L"FileVersion", product.productVersion},
                    {L"InternalName", FileUtils::replacePathSuffix(FileUtils::leafName(output), L"")},
                    {L"OriginalFilename", FileUtils::leafName(output)},
                    {L"ProductName", product.productName},
                    {L"ProductVersion", product.productVersion}};
    return buildVersionResource(info);
}

std::string productCodeBytes(const PackageInfo& product) {
    return std::string(product.productCode.begin(), product.productCode.end());
}

// The stub's resources, with ours put in: the product code, a version record
// and, if one is given, the icon. What the stub has of these kinds, under a
// number, goes, as does a package it carries.
std::vector<ResourceData> setupResources(const SetupStub& stub, const IconSet& icons, const std::string& productCode,
                                         std::vector<uint8_t> version) {
    std::vector<uint16_t> replacedTypes{SetupKeys::version};
    if (!icons.images.empty()) {
        replacedTypes.insert(replacedTypes.end(), {SetupKeys::icon, SetupKeys::iconGroup});
    }
    std::vector<ResourceData> resources;
    for (const ResourceEntry& entry : stub.resources()) {
        const bool replaced =
            !entry.key.name.isName() && !entry.key.type.isName() &&
            std::find(replacedTypes.begin(), replacedTypes.end(), entry.key.type.number) != replacedTypes.end();
        if (!replaced && !entry.key.matches(SetupKeys::package())) {
            resources.push_back(ResourceData{entry.key, stub.data(entry), entry.codePage});
        }
    }
    const auto put = [&resources](const ResourceKey& key, std::vector<uint8_t> bytes) {
        resources.erase(std::remove_if(resources.begin(), resources.end(),
                                       [&key](const ResourceData& data) { return data.key.matches(key); }),
                        resources.end());
        resources.push_back(ResourceData{key, std::move(bytes), 0});
    };
    put(SetupKeys::productCode(), std::vector<uint8_t>(productCode.begin(), productCode.end()));
    put(numbered(SetupKeys::version, 1), std::move(version));
    for (size_t i = 0; i < icons.images.size(); ++i) {
        put(numbered(SetupKeys::icon, static_cast<uint16_t>(i + 1)), icons.images[i]);
    }
    if (!icons.group.empty()) {
        put(numbered(SetupKeys::iconGroup, 1), icons.group);
    }
    return resources;
}

tstring stubOf(const PackRequest& request) {
    return request.stub.empty() ? PackFiles::defaultStub() : request.stub;
}

void checkFiles(const PackRequest& request, const tstring& stub) {
    requireInputFile(request.package, L"The package");
    requireInputFile(stub, L"The setup stub");
    if (!request.icon.empty()) {
        requireInputFile(request.icon, L"The icon");
    }
    refuseOutputOverInput(request.output, request.package, L"the package");
    refuseOutputOverInput(request.output, stub, L"the setup stub");
}

void checkSize(const tstring& packagePath, uint64_t packageSize, const SetupLayout& layout) {
    const uint64_t limit = layout.largestPackage();
    if (packageSize > limit) {
        VK_THROW_MSG("The package " << packagePath << " has " << packageSize
                                    << " bytes; a setup executable can carry at most " << limit
                                    << " bytes (the whole executable must stay below 2 GiB)");
    }
}

std::vector<tstring> warningsFor(const tstring& packagePath, const PackageInfo& product,
                                 const tstring& output) {
    std::vector<tstring> warnings;
    // Only a per-machine installation asks for elevation, and so shows the
    // prompt that names the publisher.
    if (!product.isSigned && product.defaultScope == InstallScope::PerMachine) {
        warnings.push_back(L"The package " + packagePath +
                           L" is not signed: msiexec's elevation prompt names an unknown "
                           L"publisher");
    }
    if (tstrings::equals(FileUtils::leafName(output), L"setup.exe", tstrings::IgnoreCase)) {
        warnings.push_back(L"Windows applies installer-specific compatibility handling to a "
                           L"program named setup.exe; a name such as product-setup.exe avoids it");
    }
    return warnings;
}

} // namespace

void publishCheckedSetup(StagedOutput& output, uint64_t packageOffset, uint64_t packageSize,
                         const std::string& productCode) {
    const SetupFile written(output, output.path());
    if (written.packageOffset() != packageOffset || written.packageSize() != packageSize) {
        VK_THROW_MSG("The package inside " << output.path() << " differs from the original");
    }
    if (written.productCode() != productCode) {
        VK_THROW_MSG("The product code inside " << output.path() << " differs from the package's");
    }
    output.publish();
}

std::vector<tstring> pack(const PackRequest& request) {
    const tstring stubPath = stubOf(request);
    checkFiles(request, stubPath);
    const IconSet icons = request.icon.empty() ? IconSet() : readIconFile(request.icon, 1);
    const SetupStub stub{InputFile(stubPath), stubPath};
    const InputFile package(request.package);
    const uint64_t packageSize = package.size();
    // While the package's facts are read, it is summed for the CheckSum and
    // copied into its place, which depends on the names of the setup's
    // resources and its size alone: the setup takes little longer than a
    // copy. A package too near the limit to be sure to fit waits for them.
    PackageReading reading(request.package);
    PackageChecksum packageSum(package);
    const SetupLayout provisional(stub, setupResources(stub, icons, {}, {}), SetupKeys::package(), packageSize);
    std::optional<StagedOutput> output;
    if (packageSize + copyAheadMargin <= provisional.largestPackage()) {
        output.emplace(request.output);
        provisional.copyPackage(*output, package);
    }
    const PackageFacts facts = reading.facts();
    const PackageInfo product = packageInfo(facts, request.package);
    requireEmbeddedSources(facts, request.package);

    const SetupLayout layout(stub,
                             setupResources(stub, icons, productCodeBytes(product), versionRecord(product, request.output)),
                             SetupKeys::package(), packageSize);
    checkSize(request.package, packageSize, layout);
    if (!output) {
        output.emplace(request.output);
        layout.copyPackage(*output, package);
    }
    layout.writeAround(*output, packageSum);
    publishCheckedSetup(*output, layout.packageOffset(), packageSize, productCodeBytes(product));
    return warningsFor(request.package, product, output->path());
}
