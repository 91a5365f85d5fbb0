#include "ChocolateyFacts.h"

#include "ErrorHandling.h"
#include "FieldChecks.h"
#include "InstallArguments.h"
#include "ProductVersion.h"
#include "WindowsFileName.h"
#include "XmlText.h"

#include <vector>

namespace {

bool isWordCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
}

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// Words split at blanks (and at commas, which nuspec tags must not hold).
std::vector<tstring> words(const tstring& text) {
    std::vector<tstring> found;
    tstring word;
    for (const wchar_t c : text + L" ") {
        if (isBlank(c) || c == L',') {
            if (!word.empty()) {
                found.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    return found;
}

tstring joined(const std::vector<tstring>& parts, const tstring& separator) {
    tstring text;
    for (const tstring& part : parts) {
        text += (text.empty() ? L"" : separator) + part;
    }
    return text;
}

const tstring& required(const tstring& value, const char* property, const char* field) {
    if (value.empty()) {
        VK_THROW_MSG("The package sets no " << property << ", which Chocolatey requires as " << field);
    }
    return value;
}

tstring descriptionOf(const ChocolateyRequest& request, const PackageInfo& package) {
    if (!request.description.empty()) {
        FieldChecks::requireLength(request.description, 30, 4000, "--description");
        return request.description;
    }
    for (const tstring* candidate : {&package.comments, &package.subject}) {
        const size_t size = FieldChecks::length(*candidate);
        if (size >= 30 && size <= 4000) {
            return *candidate;
        }
    }
    VK_THROW_MSG("Chocolatey requires a description of 30 to 4000 characters, and the package's summary has no "
                 "comments or subject that long: give --description");
}

tstring tagsOf(const ChocolateyRequest& request, const PackageInfo& package) {
    if (request.tags.find(L',') != tstring::npos) {
        VK_THROW_MSG("--tags '" << request.tags << "' holds a comma: Chocolatey's tags are separated by blanks");
    }
    const std::vector<tstring> given = words(request.tags);
    if (!given.empty()) {
        return joined(given, L" ");
    }
    if (!request.tags.empty()) {
        VK_THROW_MSG("--tags '" << request.tags << "' holds no tag: give words separated by blanks, or leave "
                                << "--tags out for the product name's words");
    }
    return tstrings::toLower(joined(words(package.productName), L" "));
}

// A text for a single-quoted PowerShell string.
tstring powershellQuoted(const tstring& text) {
    tstring quoted = L"'";
    for (const wchar_t c : text) {
        // PowerShell also closes a single-quoted string at the typographic
        // single quotes.
        quoted += c == L'\'' || c == 0x2018 || c == 0x2019 || c == 0x201A || c == 0x201B ? tstring(2, c)
                                                                                             : tstring(1, c);
    }
    return quoted + L"'";
}

} // namespace

tstring chocolateyVersion(const tstring& version) {
    std::vector<tstring> parts;
    tstring part;
    bool valid = !version.empty();
    for (const wchar_t c : version + L".") {
        if (c == L'.') {
            valid = valid && !part.empty();
            const size_t first = part.find_first_not_of(L'0');
            parts.push_back(first == tstring::npos ? L"0" : part.substr(first));
            part.clear();
        } else if (c >= L'0' && c <= L'9' && part.size() < 10) {
            part += c;
        } else {
            valid = false;
        }
    }
    if (!valid || parts.size() > 4) {
        VK_THROW_MSG("The ProductVersion '" << version << "' is not 1 to 4 numbers joined by dots, "
                                            << "which a Chocolatey version needs");
    }
    while (parts.size() < 3) {
        parts.push_back(L"0");
    }
    if (parts.size() == 4 && parts[3] == L"0") {
        parts.pop_back();
    }
    return joined(parts, L".");
}

bool isChocolateyId(const tstring& id) {
    if (id.empty() || id.size() > 100) {
        return false;
    }
    bool afterWord = false;
    for (const wchar_t c : id) {
        if (isWordCharacter(c)) {
            afterWord = true;
        } else if ((c == L'.' || c == L'-') && afterWord) {
            afterWord = false;
        } else {
            return false;
        }
    }
    return afterWord;
}

ChocolateyFacts chocolateyFacts(const ChocolateyRequest& request, const PackageInfo& package) {
    if (!isChocolateyId(request.id)) {
        VK_THROW_MSG("--id '" << request.id << "' is no Chocolatey package id: up to 100 letters, digits and "
                              << "underscores, in words joined by single dots or hyphens");
    }
    // The id names the package's files: ID.nuspec, ID.VERSION.nupkg.
    WindowsFileName::require(request.id, "--id");
    const auto requireAddress = [](const tstring& url, const char* option) {
        if (!FieldChecks::isWebAddress(url)) {
            VK_THROW_MSG(option << " '" << url << "' is no http:// or https:// address of up to 2048 characters");
        }
    };
    requireAddress(request.url, "--url");
    if (!request.projectUrl.empty()) {
        requireAddress(request.projectUrl, "--project-url");
    }
    ChocolateyFacts facts;
    facts.id = request.id;
    ProductVersion::require(required(package.productVersion, "ProductVersion", "its version"));
    facts.version = chocolateyVersion(package.productVersion);
    facts.title = required(package.productName, "ProductName", "the title");
    facts.authors = required(package.manufacturer, "Manufacturer", "the authors");
    facts.projectUrl = request.projectUrl;
    facts.downloadUrl = request.url;
    facts.description = descriptionOf(request, package);
    facts.tags = tagsOf(request, package);
    facts.setupName = WindowsFileName::leafOf(request.setup);
    WindowsFileName::require(facts.setupName, "The setup's file name");
    facts.silentArguments = InstallArguments::forSystemAccount(package);
    // Every text once through the XML check, so that a refusal comes before
    // anything is written.
    nuspecText(facts);
    return facts;
}

std::string nuspecText(const ChocolateyFacts& facts) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<package xmlns=\"http://schemas.microsoft.com/packaging/2015/06/nuspec.xsd\">\n"
                       "  <metadata>\n";
    const auto element = [&text](const char* name, const tstring& value, const std::string& what) {
        text += std::string("    <") + name + ">" + XmlText::escaped(value, what) + "</" + name + ">\n";
    };
    element("id", facts.id, "--id");
    element("version", facts.version, "The version");
    element("title", facts.title, "The ProductName");
    element("authors", facts.authors, "The Manufacturer");
    if (!facts.projectUrl.empty()) {
        element("projectUrl", facts.projectUrl, "--project-url");
    }
    element("tags", facts.tags, "The tags");
    element("description", facts.description, "The description");
    return text + "  </metadata>\n</package>\n";
}

std::string installScript(const ChocolateyFacts& facts) {
    const std::string setup = tstrings::toUtf8(powershellQuoted(facts.setupName));
    const std::string arguments = tstrings::toUtf8(powershellQuoted(facts.silentArguments));
    return "\xEF\xBB\xBF"
           "$ErrorActionPreference = 'Stop'\r\n"
           "$toolsDir = Split-Path -Parent $MyInvocation.MyCommand.Definition\r\n"
           "$setup = Join-Path $toolsDir " +
           setup +
           "\r\n"
           "# msiexec's exit codes: 3010 and 1641 are successes that need or started a restart.\r\n"
           "Install-ChocolateyInstallPackage -PackageName $env:ChocolateyPackageName -FileType exe -File $setup `\r\n"
           "  -SilentArgs " +
           arguments +
           " -ValidExitCodes @(0, 3010, 1641)\r\n"
           "# Removal is Chocolatey's automatic uninstaller's: msiexec /x with the product's ProductCode.\r\n"
           "# The setup, once installed, is neither kept twice nor given a shim on the path.\r\n"
           "Remove-Item -LiteralPath $setup -Force -ErrorAction SilentlyContinue\r\n"
           "if (Test-Path -LiteralPath $setup) { Set-Content -LiteralPath \"$setup.ignore\" -Value '' }\r\n";
}

std::string verificationText(const ChocolateyFacts& facts, const std::string& sha256) {
    const std::string setup = tstrings::toUtf8(facts.setupName);
    return "VERIFICATION\r\n"
           "Verification is intended to assist the Chocolatey moderators and community\r\n"
           "in verifying that this package's contents are trustworthy.\r\n"
           "\r\n"
           "tools\\" +
           setup + " is the setup published at\r\n  " + tstrings::toUtf8(facts.downloadUrl) +
           "\r\n"
           "Download it from there and compare its SHA-256 with the one below:\r\n"
           "  Get-FileHash -Algorithm SHA256 " +
           setup +
           "\r\n"
           "\r\n"
           "  SHA-256: " +
           sha256 +
           "\r\n"
           "\r\n"
           "tools\\LICENSE.txt is the product's license.\r\n";
}
