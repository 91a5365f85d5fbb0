#include "Packer.h"

#include "ChangeWatch.h"
#include "CompoundFileCheck.h"
#include "CompoundFileReader.h"
#include "DamagedFile.h"
#include "ErrorHandling.h"
#include "IconResource.h"
#include "InputChecks.h"
#include "Multilingual.h"
#include "PackFiles.h"
#include "PackageInfo.h"
#include "PackageSources.h"
#include "PathUtils.h"
#include "PrivateDirectory.h"
#include "ProductVersion.h"
#include "SamePackage.h"
#include "SetupFile.h"
#include "SetupKeys.h"
#include "SetupWriter.h"
#include "SetupResourceNames.h"
#include "SetupStub.h"
#include "Signer.h"
#include "VersionResource.h"

#include <algorithm>
#include <memory>
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

// The stub's resources, with ours put in: the product code, a version record,
// the list of languages of a multilingual package and, if one is given, the
// icon. What the stub has of these kinds, under a number, goes, as do a
// package, a product code and a list of languages it carries.
std::vector<ResourceData> setupResources(const SetupStub& stub, const IconSet& icons, const std::string& productCode,
                                         std::vector<uint8_t> version, const std::string& languages) {
    std::vector<uint16_t> replacedTypes{SetupKeys::version};
    if (!icons.images.empty()) {
        replacedTypes.insert(replacedTypes.end(), {SetupKeys::icon, SetupKeys::iconGroup});
    }
    std::vector<ResourceData> resources;
    for (const ResourceEntry& entry : stub.resources()) {
        const bool replaced =
            !entry.key.name.isName() && !entry.key.type.isName() &&
            std::find(replacedTypes.begin(), replacedTypes.end(), entry.key.type.number) != replacedTypes.end();
        // In any language: a setup is read by type and name alone, and would
        // find the stub's.
        const bool ours = entry.key.type.matches(SetupKeys::rcdata()) &&
                          (entry.key.name.matches(SetupKeys::package().name) ||
                           entry.key.name.matches(SetupKeys::productCode().name) ||
                           entry.key.name.matches(SetupKeys::languages().name));
        if (!replaced && !ours) {
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
    // A setup of one language carries none: it is byte for byte what it was
    // before setups had languages.
    if (!languages.empty()) {
        put(SetupKeys::languages(), std::vector<uint8_t>(languages.begin(), languages.end()));
    }
    // The stub's numbered icons went above: the images need no search, which
    // would take time in the square of their count.
    for (size_t i = 0; i < icons.images.size(); ++i) {
        resources.push_back(ResourceData{numbered(SetupKeys::icon, static_cast<uint16_t>(i + 1)), icons.images[i], 0});
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
    if (!request.icon.empty()) {
        refuseOutputOverInput(request.output, request.icon, L"the icon");
    }
    // No setup carries a package of 2 GiB or more, whatever it holds: refused
    // before any reader or signer sees it. (The exact limit, a little lower,
    // waits for the package's facts.)
    const uint64_t packageSize = InputFile(request.package).size();
    if (packageSize >= SetupWriter::imageLimit) {
        VK_THROW_MSG("The package " << request.package << " has " << packageSize
                                    << " bytes, more than a setup executable can carry (the whole executable must "
                                       "stay below 2 GiB)");
    }
}

// A setup laid out around the stub, to be written: what cannot be laid out
// is the stub's fault, since the package's size was checked first.
SetupWriter writerAround(const SetupStub& stub, const tstring& stubPath, const std::vector<ResourceData>& resources,
                         uint64_t packageSize) {
    try {
        return SetupWriter(stub, resources, SetupKeys::package(), packageSize);
    } catch (const VkErrorBase& e) {
        VK_THROW_MSG("The setup stub " << stubPath << " cannot carry a package: " << e.originalMessage());
    }
}

// The largest package a setup from the stub with these resources can carry;
// it does not depend on the package.
uint64_t packageLimit(const SetupStub& stub, const tstring& stubPath, const std::vector<ResourceData>& resources) {
    const uint64_t limit = writerAround(stub, stubPath, resources, 0).largestPackage();
    if (limit == 0) {
        VK_THROW_MSG("The setup stub " << stubPath
                                       << " cannot carry a package: its image leaves no room below 2 GiB");
    }
    return limit;
}

void checkSize(const tstring& packagePath, uint64_t packageSize, uint64_t limit) {
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
    const tstring versionProblem = ProductVersion::problemWith(product.productVersion);
    if (!versionProblem.empty()) {
        warnings.push_back(versionProblem);
    }
    if (tstrings::equals(FileUtils::leafName(output), L"setup.exe", tstrings::IgnoreCase)) {
        warnings.push_back(L"Windows applies installer-specific compatibility handling to a "
                           L"program named setup.exe; a name such as product-setup.exe avoids it");
    }
    return warnings;
}

// The package was copied to its place before the setup's resources were
// known; the setup's final layout must put it there too.
void requireSamePlace(uint64_t copiedTo, uint64_t placed, const tstring& setup) {
    if (copiedTo != placed) {
        VK_THROW_MSG("The package was copied to offset " << copiedTo << " of " << setup
                                                         << ", but the setup's layout puts it at " << placed);
    }
}

// The package's facts; but a package larger than any setup from this stub
// can carry is refused for its size, whatever its reader made of it (libmsi
// opens no file of 4 GiB or more). Without the facts the limit is known
// within the few hundred bytes of the version record.
RawPackageFacts factsOrSizeRefusal(PackageReading& reading, const tstring& packagePath, uint64_t packageSize,
                                   uint64_t provisionalLimit) {
    try {
        return reading.facts();
    } catch (const VkErrorBase&) {
        if (packageSize > provisionalLimit) {
            VK_THROW_MSG("The package " << packagePath << " has " << packageSize
                                        << " bytes, more than a setup executable can carry (about "
                                        << provisionalLimit << " bytes: the whole executable must stay below 2 GiB)");
        }
        throw;
    }
}

struct WrittenSetup {
    RawPackageFacts facts;
    PackageInfo product;
    uint64_t packageOffset;
    uint64_t packageSize;
    bool stubSignatureDropped;
};

[[noreturn]] void changedWhilePacked(const tstring& packagePath) {
    VK_THROW_MSG("The package " << packagePath
                                << " changed while it was packed (is a build step still writing it?); nothing was "
                                   "written: pack it again once it is complete");
}

// Writes the setup around the package at `packagePath` into `output`, staged
// at `stagingPath` and not yet published; the version record names the
// request's output. Messages name the package as `shownPackage` ("The
// package <shownPackage> has ..."): its path, or what the user knows a
// private copy as. `languages`: the list of a multilingual package's
// languages, or empty.
WrittenSetup writeSetup(const PackRequest& request, const tstring& stubPath, const tstring& packagePath,
                        const tstring& shownPackage, std::optional<StagedOutput>& output,
                        const tstring& stagingPath, const std::string& languages) {
    // Reading the package's facts takes longest of all for a small package:
    // it starts first, and the stub and the icon are read meanwhile. While
    // it runs, the package is also summed for the CheckSum and copied into
    // its place, which depends on the names of the setup's resources and its
    // size alone: the setup takes little longer than a copy. A package too
    // near the limit to be sure to fit waits for the facts. Each reading
    // comes after the watch begins: a package that a build step still
    // writes may give the facts one content and the copy another, and is
    // refused.
    const InputFile package(packagePath);
    const ChangeWatch changes(package);
    PackageReading reading(packagePath);
    const IconSet icons = request.icon.empty() ? IconSet() : readIconFile(request.icon, 1);
    const SetupStub stub{InputFile(stubPath), stubPath};
    const uint64_t packageSize = package.size();
    PackageChecksum packageSum(package);
    const std::vector<ResourceData> provisionalResources = setupResources(stub, icons, {}, {}, languages);
    const uint64_t provisionalLimit = packageLimit(stub, stubPath, provisionalResources);
    std::optional<uint64_t> copiedTo;
    if (packageSize + copyAheadMargin <= provisionalLimit) {
        output.emplace(stagingPath);
        const SetupWriter provisional = writerAround(stub, stubPath, provisionalResources, packageSize);
        provisional.copyPackage(*output, package);
        copiedTo = provisional.packageOffset();
    }
    const RawPackageFacts facts = factsOrSizeRefusal(reading, shownPackage, packageSize, provisionalLimit);
    const PackageInfo product = packageInfo(facts, shownPackage);
    requireEmbeddedSources(facts, shownPackage);

    const std::vector<ResourceData> resources =
        setupResources(stub, icons, productCodeBytes(product), versionRecord(product, request.output), languages);
    checkSize(shownPackage, packageSize, packageLimit(stub, stubPath, resources));
    const SetupWriter writer = writerAround(stub, stubPath, resources, packageSize);
    if (!output) {
        output.emplace(stagingPath);
        writer.copyPackage(*output, package);
        copiedTo = writer.packageOffset();
    }
    // The setup is checked against the place the package was copied to.
    requireSamePlace(*copiedTo, writer.packageOffset(), stagingPath);
    writer.writeAround(*output, packageSum);
    if (changes.changed()) {
        changedWhilePacked(shownPackage);
    }
    return WrittenSetup{facts, product, *copiedTo, packageSize, stub.signatureDropped()};
}

// A multilingual package, unsigned, is written straight into its place in
// the setup and summed for the CheckSum on the way: it is read from the
// inputs once and written once, as large as the base and every variant's
// cabinet together. Its facts are the base's, whose tables it keeps; what
// is written is checked as a compound file where it lies.
WrittenSetup writeMultilingualSetup(const PackRequest& request, const tstring& stubPath,
                                    const MultilingualPlan& languages, std::optional<StagedOutput>& output) {
    const IconSet icons = request.icon.empty() ? IconSet() : readIconFile(request.icon, 1);
    const SetupStub stub{InputFile(stubPath), stubPath};
    const RawPackageFacts facts = languages.facts();
    const PackageInfo product = packageInfo(facts, request.package);
    const uint64_t packageSize = languages.size();
    const std::vector<ResourceData> resources = setupResources(
        stub, icons, productCodeBytes(product), versionRecord(product, request.output), languages.languageList());
    checkSize(request.package, packageSize, packageLimit(stub, stubPath, resources));
    const SetupWriter writer = writerAround(stub, stubPath, resources, packageSize);
    output.emplace(request.output);
    output->reserve(writer.fileSize());
    PeChecksum packageSum;
    uint64_t at = writer.packageOffset();
    languages.write([&](const uint8_t* bytes, size_t count) {
        output->write(at, bytes, count);
        packageSum.add(at, bytes, count);
        at += count;
    });
    checkCompoundFile(*output, writer.packageOffset(), packageSize);
    writer.writeAround(*output, packageSum);
    return WrittenSetup{facts, product, writer.packageOffset(), packageSize, stub.signatureDropped()};
}

// What the user reads of the stub.
std::vector<tstring> notesFor(const tstring& stubPath, const WrittenSetup& setup) {
    if (!setup.stubSignatureDropped) {
        return {};
    }
    return {L"The setup stub " + stubPath +
            L" carries a signature: it was left out, since the setup is new bytes and must be signed again"};
}

void copyFile(const tstring& from, const tstring& to) {
    StagedOutput copy(to);
    const InputFile source(from);
    copy.copy(source, 0, 0, source.size());
    copy.publish();
}

// The signer's package is the user's, every byte but the signature streams,
// and carries a signature that verifies. The setup holds a copy of it, so
// this is one more reading of each.
void requireSignedCopy(const tstring& originalPath, const tstring& signedPath) {
    const InputFile originalFile(originalPath);
    const InputFile signedFile(signedPath);
    SignedCopy copy;
    try {
        const CompoundFileReader original(originalFile, 0, originalFile.size());
        const CompoundFileReader signedPackage(signedFile, 0, signedFile.size());
        copy = compareSignedCopy(original.root(), signedPackage.root());
    } catch (const VkError<DamagedFileError>&) {
        VK_THROW_MSG("Signing the package failed: the sign command's output is no package velkin-pack can pack");
    }
    if (!copy.difference.empty()) {
        VK_THROW_MSG("Signing the package failed: the sign command returned another package (" << copy.difference
                                                                                                 << ")");
    }
    if (!copy.signature.present) {
        VK_THROW_MSG("Signing the package failed: the sign command wrote a package without a signature");
    }
    if (!copy.signature.valid()) {
        VK_THROW_MSG("Signing the package failed: the sign command's output carries no valid signature: "
                     << copy.signature.problem);
    }
}

// The signer sees files of velkin-pack's own, by name, in a private
// directory: a copy of the package and the setup before it is published.
// Whatever it writes there goes with the directory. Their names are fixed,
// not the user's: cmd expands %NAME% even between quotes, and a name of the
// user's could hold one.
// A multilingual package is velkin-pack's own file already, and always
// signed here: the base's signature does not sign it.
PackReport packSigned(const PackRequest& request, const tstring& stubPath, const MultilingualPlan* languages) {
    const Signer signer(request.signCommand);
    // A signature can cost money or a touch of a hardware token: what can
    // be refused without the signed files is refused before the first. The
    // output's place first (its directory, its kind, room for the stub and
    // the package at least), then a stub or an icon that cannot serve, then
    // a package that cannot be packed.
    StagedOutput output(request.output);
    output.reserve(InputFile(request.package).size() + InputFile(stubPath).size());
    const SetupStub checkedStub{InputFile(stubPath), stubPath};
    if (!request.icon.empty()) {
        readIconFile(request.icon, 1);
    }
    const PrivateDirectory work;
    PackReport report;
    // The signer's copy has the bytes the facts were read from.
    const InputFile watched(request.package);
    const ChangeWatch changes(watched);
    tstring package = request.package;
    if (languages) {
        package = work.place(L"package", L"package.msi");
        languages->write(package, true);
    }
    const RawPackageFacts original = readPackageFacts(package);
    packageInfo(original, request.package);
    requireEmbeddedSources(original, request.package);
    // What the signer is given: the signed package must be it, but for its
    // signature.
    tstring toSign = package;
    if (languages) {
        package = signer.sign(SignStep::Package, toSign, work.place(L"package-signed", L"package.msi"),
                              request.package);
    } else if (original.isSigned) {
        report.notes.push_back(L"The package " + request.package +
                               L" carries a signature already: it is packed as it is, not signed again");
    } else {
        toSign = work.place(L"package", L"package.msi");
        copyFile(request.package, toSign);
        if (changes.changed()) {
            changedWhilePacked(request.package);
        }
        package = signer.sign(SignStep::Package, toSign, work.place(L"package-signed", L"package.msi"),
                              request.package);
    }

    const tstring unsignedSetup = work.place(L"setup", L"setup.exe");
    std::optional<StagedOutput> staged;
    const bool signedHere = package != request.package;
    const WrittenSetup setup = [&] {
        try {
            return writeSetup(request, stubPath, package,
                              signedHere ? tstring(L"returned by the sign command") : request.package, staged,
                              unsignedSetup, languages ? languages->languageList() : std::string());
        } catch (const VkError<DamagedFileError>&) {
            // Its path is gone with the private directory.
            if (signedHere) {
                VK_THROW_MSG("Signing the package failed: the sign command's output is no package velkin-pack "
                             "can pack");
            }
            throw;
        }
    }();
    if (signedHere) {
        requireSignedCopy(toSign, package);
    }
    staged->publish();
    // A signer that changes its file is judged against a copy.
    tstring asWritten = unsignedSetup;
    if (signer.signsInPlace()) {
        asWritten = work.place(L"setup-unsigned", L"setup.exe");
        copyFile(unsignedSetup, asWritten);
    }
    const tstring signedSetup =
        signer.sign(SignStep::Setup, unsignedSetup, work.place(L"setup-signed", L"setup.exe"), asWritten);

    // Named as what it is: its path is gone with the private directory.
    const tstring signerOutput = L"the sign command's output";
    const InputFile result(signedSetup);
    const SetupFile signedResult(result, signerOutput);
    if (!signedResult.signatureProblem().empty()) {
        VK_THROW_MSG("Signing the setup failed: the sign command's output carries no valid signature: "
                     << signedResult.signatureProblem());
    }
    if (!signedResult.isSigned()) {
        VK_THROW_MSG("Signing the setup failed: the sign command wrote a setup without a signature");
    }
    output.copy(result, 0, 0, result.size());
    {
        PrivateDirectory::Publication publication;
        publishCheckedSetup(output, setup.packageOffset, setup.packageSize, productCodeBytes(setup.product),
                            signerOutput);
        publication.done(output.path());
    }
    const std::vector<tstring> stubNotes = notesFor(stubPath, setup);
    report.notes.insert(report.notes.begin(), stubNotes.begin(), stubNotes.end());
    report.warnings = warningsFor(request.package, setup.product, output.path());
    return report;
}

} // namespace

void publishCheckedSetup(StagedOutput& output, uint64_t packageOffset, uint64_t packageSize,
                         const std::string& productCode, const tstring& setupName) {
    const SetupFile written(output, setupName);
    if (written.packageOffset() != packageOffset || written.packageSize() != packageSize) {
        VK_THROW_MSG("The package inside " << setupName << " differs from the original; " << output.path()
                                           << " was not written");
    }
    if (written.productCode() != productCode) {
        VK_THROW_MSG("The product code inside " << setupName << " differs from the package's; " << output.path()
                                                << " was not written");
    }
    output.publish();
}

PackReport pack(const PackRequest& request) {
    const tstring stubPath = stubOf(request);
    checkFiles(request, stubPath);
    std::unique_ptr<MultilingualPlan> languages;
    if (!request.languages.empty()) {
        languages.reset(new MultilingualPlan(request.package, request.languages, request.output));
        if (languages->baseSigned() && request.signCommand.empty()) {
            VK_THROW_MSG("The package " << request.package << " is signed, and adding languages changes it: its "
                                        << "signature would no longer match (give --sign-command to sign the new "
                                        << "package)");
        }
    }
    if (!request.signCommand.empty()) {
        return packSigned(request, stubPath, languages.get());
    }
    std::optional<StagedOutput> output;
    const WrittenSetup setup =
        languages ? writeMultilingualSetup(request, stubPath, *languages, output)
                  : writeSetup(request, stubPath, request.package, request.package, output, request.output, {});
    publishCheckedSetup(*output, setup.packageOffset, setup.packageSize, productCodeBytes(setup.product),
                        L"the new setup");
    return PackReport{notesFor(stubPath, setup), warningsFor(request.package, setup.product, output->path())};
}
