#include "ChocolateyPackage.h"

#include "ErrorHandling.h"
#include "FieldChecks.h"
#include "InputChecks.h"
#include "OutputSet.h"
#include "PackFiles.h"
#include "Sha256.h"
#include "StagedZipTarget.h"
#include "WindowsFileName.h"
#include "XmlText.h"
#include "ZipWriter.h"

#include <set>
#include <vector>

namespace {

const ZipWriter::Method deflated = ZipWriter::Method::Deflated;

std::string lowerHex(const std::array<uint8_t, 32>& digest) {
    return tstrings::toUtf8(tstrings::toLower(tstrings::fromUtf8(Sha256::hex(digest))));
}

std::string relationships(const std::string& nuspec, const std::string& coreProperties, const std::string& digest) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Type=\"http://schemas.microsoft.com/packaging/2010/07/manifest\" Target=\"/" +
           nuspec + "\" Id=\"R" + digest.substr(32, 16) +
           "\" />"
           "<Relationship Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
           "core-properties\" Target=\"/" +
           coreProperties + "\" Id=\"R" + digest.substr(48, 16) + "\" /></Relationships>";
}

// Each part's extension's content type once; a part without one named
// alone.
std::string contentTypes(const std::vector<std::string>& parts) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">";
    std::set<std::string> seen;
    for (const std::string& part : parts) {
        const size_t slash = part.rfind('/');
        const size_t dot = part.rfind('.');
        // As Windows sees extensions: ".rels" is one.
        const bool hasExtension =
            dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot + 1 < part.size();
        if (!hasExtension) {
            text += "<Override PartName=\"/" + part + "\" ContentType=\"application/octet\" />";
            continue;
        }
        const std::string extension =
            tstrings::toUtf8(tstrings::toLower(tstrings::fromUtf8(part.substr(dot + 1))));
        if (!seen.insert(extension).second) {
            continue;
        }
        const std::string type = extension == "rels"     ? "application/vnd.openxmlformats-package.relationships+xml"
                                 : extension == "psmdcp" ? "application/vnd.openxmlformats-package.core-properties+xml"
                                                         : "application/octet";
        text += "<Default Extension=\"" + extension + "\" ContentType=\"" + type + "\" />";
    }
    return text + "</Types>";
}

std::string coreProperties(const ChocolateyFacts& facts) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<coreProperties xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\">"
           "<dc:creator>" +
           XmlText::escaped(facts.authors, "The Manufacturer") + "</dc:creator><dc:description>" +
           XmlText::escaped(facts.description, "The description") + "</dc:description><dc:identifier>" +
           XmlText::escaped(facts.id, "--id") + "</dc:identifier><version>" +
           XmlText::escaped(facts.version, "The version") + "</version><keywords>" +
           XmlText::escaped(facts.tags, "The tags") +
           "</keywords><lastModifiedBy>velkin-pack</lastModifiedBy></coreProperties>";
}

void addFile(ZipWriter& zip, const std::string& name, const InputFile& file, Sha256* sum) {
    zip.begin(name, deflated);
    file.visit(0, file.size(), [&zip, sum](uint64_t, const uint8_t* bytes, size_t size) {
        zip.write(bytes, size);
        if (sum) {
            sum->add(bytes, size);
        }
    });
    zip.end();
}

} // namespace

std::string opcPartName(const tstring& path) {
    static const char digits[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : tstrings::toUtf8(path)) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            std::string("-._~/").find(c) != std::string::npos) {
            name += c;
        } else {
            name += '%';
            name += digits[byte >> 4];
            name += digits[byte & 0xF];
        }
    }
    return name;
}

void writeChocolateyPackage(const ChocolateyRequest& request) {
    FieldChecks::requireDirectory(request.directory);
    // Watched from here: a polite end before the publication leaves nothing.
    OutputSet outputs;
    // Before the setup is opened: Windows would open another file for a
    // name with a trailing dot or blank.
    WindowsFileName::require(WindowsFileName::leafOf(request.setup), "The setup's file name");
    const FileContents contents = FieldChecks::readSetup(request.setup, "a Chocolatey package carries");
    const ChocolateyFacts facts = chocolateyFacts(request, contents.package);
    std::unique_ptr<InputFile> license;
    if (!request.licenseFile.empty()) {
        requireInputFile(request.licenseFile, L"The license file");
        license = std::make_unique<InputFile>(request.licenseFile);
        // A file that the system gives without a size (/proc's) would be
        // copied as nothing.
        if (license->size() == 0) {
            VK_THROW_MSG("The license file " << request.licenseFile << " is empty, or has no size to read: "
                                             << "give a file that holds the license's text");
        }
    }
    const InputFile setup(request.setup);

    const std::string nuspec = nuspecText(facts);
    const std::string nuspecName = opcPartName(facts.id + L".nuspec");
    // Named from the package's facts: a fixed name for the same package.
    Sha256 nameSum;
    nameSum.add(reinterpret_cast<const uint8_t*>(nuspec.data()), nuspec.size());
    const std::string digest = lowerHex(nameSum.finish());
    const std::string propertiesName = "package/services/metadata/core-properties/" + digest.substr(0, 32) + ".psmdcp";
    const std::string setupName = opcPartName(L"tools/" + facts.setupName);
    std::vector<std::string> parts = {"_rels/.rels", nuspecName, "tools/chocolateyInstall.ps1"};
    if (license) {
        parts.push_back("tools/LICENSE.txt");
    }
    parts.push_back(setupName);
    if (license) {
        parts.push_back("tools/VERIFICATION.txt");
    }
    if (std::set<std::string>(parts.begin(), parts.end()).size() != parts.size()) {
        VK_THROW_MSG("The setup's file name " << facts.setupName << " is that of another file of the package");
    }

    const tstring output = PackFiles::inDirectory(request.directory, facts.id + L"." + facts.version + L".nupkg");
    refuseOutputOverInput(output, request.setup, L"the setup executable");
    if (license) {
        refuseOutputOverInput(output, request.licenseFile, L"the license file");
    }
    StagedOutput& staged = outputs.add(output);
    StagedZipTarget target(staged);
    ZipWriter zip(target);
    zip.add("_rels/.rels", deflated, relationships(nuspecName, propertiesName, digest));
    zip.add(nuspecName, deflated, nuspec);
    zip.add("tools/chocolateyInstall.ps1", deflated, installScript(facts));
    if (license) {
        addFile(zip, "tools/LICENSE.txt", *license, nullptr);
    }
    Sha256 setupSum;
    addFile(zip, setupName, setup, &setupSum);
    if (license) {
        zip.add("tools/VERIFICATION.txt", deflated, verificationText(facts, Sha256::hex(setupSum.finish())));
    }
    // The content types describe the parts; they are none themselves.
    parts.push_back(propertiesName);
    zip.add("[Content_Types].xml", deflated, contentTypes(parts));
    zip.add(propertiesName, deflated, coreProperties(facts));
    zip.finish();
    outputs.publish();
}
