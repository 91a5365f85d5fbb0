#include "Packer.h"

#include "ErrorHandling.h"
#include "IconResource.h"
#include "InputChecks.h"
#include "MappedFile.h"
#include "PackageInfo.h"
#include "PackageSources.h"
#include "PathUtils.h"
#include "ResourceUpdate.h"
#include "Resources.h"
#include "StagedOutput.h"
#include "UniqueHandles.h"
#include "VersionResource.h"
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
    const UniqueLibraryHandle module(::LoadLibraryExW(
        executable.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        VK_THROW_LAST_ERROR(::LoadLibraryExW, "LoadLibraryExW(" << executable << ") failed");
    }
    struct Search {
        const wchar_t* type;
        std::vector<ResourceEntry> found;
    } search;
    for (const wchar_t* type : types) {
        search.type = type;
        ::EnumResourceNamesW(
            module.get(), type,
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
    const UniqueLibraryHandle module(::LoadLibraryExW(
        executable.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        VK_THROW_LAST_ERROR(::LoadLibraryExW, "The setup executable cannot be loaded: LoadLibraryExW("
                                                  << executable << ") failed");
    }
    const Resource msi(L"MSI", RT_RCDATA, module.get());
    const Resource code(L"PRODUCT_CODE", RT_RCDATA, module.get());
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
    check(output.staging(), package, tstrings::toUtf8(productCode));
    output.commit();
}

std::vector<tstring> pack(const PackRequest& request) {
    std::vector<tstring> warnings;
    requireInputFile(request.package, L"The package");
    const tstring stub = request.stub.empty()
                             ? FileUtils::joinPath(FileUtils::parentPath(SysInfo::getProcessModulePath()),
                                                   L"velkin-setup.exe")
                             : request.stub;
    requireInputFile(stub, L"The setup stub");
    refuseOutputOverInput(request.output, request.package, L"the package");
    refuseOutputOverInput(request.output, stub, L"the setup stub");
    const IconSet icons = request.icon.empty() ? IconSet() : readIconFile(request.icon, 1);
    uint64_t iconSize = icons.group.size();
    for (const std::vector<uint8_t>& image : icons.images) {
        iconSize += image.size();
    }

    // Refused before anything is written.
    const MappedFile package(request.package);
    const uint64_t limit = maxPackageSize(MappedFile(stub).size(), iconSize);
    if (package.size() > limit) {
        VK_THROW_MSG("The package " << request.package << " has " << package.size()
                                    << " bytes; a setup executable can carry at most " << limit
                                    << " bytes (the whole executable must stay below 2 GiB)");
    }
    const PackageInfo product = readPackageInfo(request.package);
    requireEmbeddedSources(request.package);
    const std::string productCode = tstrings::toUtf8(product.productCode);
    if (!product.isSigned) {
        warnings.push_back(L"The package " + request.package +
                           L" is not signed: msiexec's elevation prompt names an unknown "
                           L"publisher");
    }

    StagedOutput output(request.output);
    if (tstrings::equals(FileUtils::leafName(output.path()), L"setup.exe", tstrings::IgnoreCase)) {
        warnings.push_back(L"Windows applies installer-specific compatibility handling to a "
                           L"program named setup.exe; a name such as product-setup.exe avoids it");
    }
    FileUtils::copyFile(stub, output.staging(), false);

    std::vector<const wchar_t*> replaced{RT_VERSION};
    if (!request.icon.empty()) {
        replaced.insert(replaced.end(), {RT_GROUP_ICON, RT_ICON});
    }
    const std::vector<ResourceEntry> stale = listResources(stub, replaced);
    ResourceUpdate update(output.staging());
    for (const ResourceEntry& entry : stale) {
        update.remove(entry.type, MAKEINTRESOURCEW(entry.name), entry.language);
    }
    update.put(RT_RCDATA, L"MSI", resourceLanguage, package.data(),
               static_cast<size_t>(package.size()));
    update.put(RT_RCDATA, L"PRODUCT_CODE", resourceLanguage, productCode.data(),
               productCode.size());
    const std::vector<uint8_t> version = versionRecord(product, output.path());
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

    publishCheckedSetup(output, package, product.productCode);
    return warnings;
}
