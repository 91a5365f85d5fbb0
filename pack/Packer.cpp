#include "Packer.h"

#include "ErrorHandling.h"
#include "Guid.h"
#include "IconResource.h"
#include "InputChecks.h"
#include "MappedFile.h"
#include "PackageInfo.h"
#include "PackageSources.h"
#include "PathUtils.h"
#include "ResourceUpdate.h"
#include "Resources.h"
#include "SetupResources.h"
#include "StagedOutput.h"
#include "UniqueHandles.h"
#include "VersionResource.h"
#include "WinDll.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <cstring>
#include <memory>

uint64_t maxPackageSize(uint64_t stubSize, uint64_t iconSize) {
    constexpr uint64_t imageLimit = 0x7FFFFFFF;
    constexpr uint64_t room = 64 * 1024;
    const uint64_t taken = stubSize + iconSize + room;
    return taken < imageLimit ? imageLimit - taken : 0;
}

namespace {

// The language of every resource of a setup executable.
constexpr uint16_t resourceLanguage = 0x0409;

struct ResourceEntry {
    const wchar_t* type;
    uint16_t name;
    uint16_t language;
};

// The numbered resources of the given types in an executable, with their
// languages.
std::vector<ResourceEntry> listResources(const tstring& executable,
                                         const std::vector<const wchar_t*>& types) {
    const Dll module(Dll::Data{}, executable);
    struct Search {
        const wchar_t* type;
        std::vector<ResourceEntry> found;
    } search;
    for (const wchar_t* type : types) {
        search.type = type;
        ::EnumResourceNamesW(
            module.module(), type,
            [](HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context) -> BOOL {
                if (IS_INTRESOURCE(name)) {
                    ::EnumResourceLanguagesW(
                        module, type, name,
                        [](HMODULE, LPCWSTR, LPCWSTR name, WORD language, LONG_PTR context) -> BOOL {
                            Search* search = reinterpret_cast<Search*>(context);
                            search->found.push_back(ResourceEntry{
                                search->type,
                                static_cast<uint16_t>(reinterpret_cast<uintptr_t>(name)), language});
                            return TRUE;
                        },
                        context);
                }
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&search));
    }
    return search.found;
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

// Reads the result back as Windows would: both resources there, the package
// byte for byte.
void check(const tstring& executable, const MappedFile& package, const std::string& productCode) {
    const Dll module(Dll::Data{}, executable);
    const Resource msi(SetupResources::package, SetupResources::type, module.module());
    const Resource code(SetupResources::productCode, SetupResources::type, module.module());
    if (msi.size() != package.size() ||
        (package.size() != 0 && std::memcmp(msi.rawData(), package.data(), package.size()) != 0)) {
        VK_THROW_MSG("The package inside " << executable << " differs from the original");
    }
    if (code.bytes() != std::vector<uint8_t>(productCode.begin(), productCode.end())) {
        VK_THROW_MSG("The product code inside " << executable << " differs from the package's");
    }
}

} // namespace

void publishCheckedSetup(StagedOutput& output, const MappedFile& package,
                         const tstring& productCode) {
    check(output.staging(), package, SetupResources::encodeProductCode(Guid(productCode)));
    output.commit();
}

namespace {

tstring stubOf(const PackRequest& request) {
    return request.stub.empty()
               ? FileUtils::joinPath(FileUtils::parentPath(SysInfo::getProcessModulePath()),
                                     L"velkin-setup.exe")
               : request.stub;
}

void checkFiles(const PackRequest& request, const tstring& stub) {
    requireInputFile(request.package, L"The package");
    requireInputFile(stub, L"The setup stub");
    refuseOutputOverInput(request.output, request.package, L"the package");
    refuseOutputOverInput(request.output, stub, L"the setup stub");
}

void checkSize(const tstring& packagePath, const MappedFile& package, const tstring& stub,
               const IconSet& icons) {
    uint64_t iconSize = icons.group.size();
    for (const std::vector<uint8_t>& image : icons.images) {
        iconSize += image.size();
    }
    const uint64_t limit = maxPackageSize(MappedFile(stub).size(), iconSize);
    if (package.size() > limit) {
        VK_THROW_MSG("The package " << packagePath << " has " << package.size()
                                    << " bytes; a setup executable can carry at most " << limit
                                    << " bytes (the whole executable must stay below 2 GiB)");
    }
}

// Into a copy of the stub: the package, its product code, a version record
// describing the product and, if one is given, the icon. What the stub has
// of these kinds goes.
void writeResources(const tstring& executable, const tstring& stub, const MappedFile& package,
                    const PackageInfo& product, const IconSet& icons, const tstring& output) {
    std::vector<const wchar_t*> replaced{RT_VERSION};
    if (!icons.images.empty()) {
        replaced.insert(replaced.end(), {RT_GROUP_ICON, RT_ICON});
    }
    ResourceUpdate update(executable);
    for (const ResourceEntry& entry : listResources(stub, replaced)) {
        update.remove(entry.type, MAKEINTRESOURCEW(entry.name), entry.language);
    }
    const std::string productCode = SetupResources::encodeProductCode(Guid(product.productCode));
    update.put(SetupResources::type, SetupResources::storedName(SetupResources::package).c_str(),
               resourceLanguage, package.data(), static_cast<size_t>(package.size()));
    update.put(SetupResources::type, SetupResources::storedName(SetupResources::productCode).c_str(),
               resourceLanguage, productCode.data(), productCode.size());
    const std::vector<uint8_t> version = versionRecord(product, output);
    update.put(RT_VERSION, MAKEINTRESOURCEW(1), resourceLanguage, version.data(), version.size());
    for (size_t i = 0; i < icons.images.size(); ++i) {
        update.put(RT_ICON, MAKEINTRESOURCEW(i + 1), resourceLanguage, icons.images[i].data(),
                   icons.images[i].size());
    }
    if (!icons.group.empty()) {
        update.put(RT_GROUP_ICON, MAKEINTRESOURCEW(1), resourceLanguage, icons.group.data(),
                   icons.group.size());
    }
    update.commit();
}

std::vector<tstring> warningsFor(const tstring& packagePath, const PackageInfo& product,
                                 const tstring& output) {
    std::vector<tstring> warnings;
    if (!product.isSigned) {
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

std::vector<tstring> pack(const PackRequest& request) {
    const tstring stub = stubOf(request);
    checkFiles(request, stub);
    const IconSet icons = request.icon.empty() ? IconSet() : readIconFile(request.icon, 1);
    const MappedFile package(request.package);
    checkSize(request.package, package, stub, icons);
    const PackageInfo product = readPackageInfo(request.package);
    requireEmbeddedSources(request.package);

    StagedOutput output(request.output);
    FileUtils::copyFile(stub, output.staging(), false);
    writeResources(output.staging(), stub, package, product, icons, output.path());
    publishCheckedSetup(output, package, product.productCode);
    return warningsFor(request.package, product, output.path());
}
