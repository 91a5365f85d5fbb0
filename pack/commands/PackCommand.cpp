#include "PackCommand.h"

#include "ChocolateyPackage.h"
#include "ConsoleText.h"
#include "ErrorHandling.h"
#include "IntunePackage.h"
#include "Extractor.h"
#include "ContentsReport.h"
#include "FieldChecks.h"
#include "Log.h"
#include "LogAppenders.h"
#include "Packer.h"
#include "ProductVersion.h"
#include "Signer.h"
#include "Transformer.h"
#include "VisibleText.h"
#include "WindowsFileName.h"
#include "WingetManifest.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char usage[] =
    "usage: velkin-pack <package.msi> -o <setup.exe> [--stub <velkin-setup.exe>] [--icon <file.ico>]\n"
    "                   [--sign-command <command with %1 [and %2]>]\n"
    "                   [--language <variant.msi | LANGID=transform.mst>]...\n"
    "       velkin-pack inspect <setup.exe | package.msi> [--json]\n"
    "       velkin-pack extract <setup.exe> -o <package.msi>\n"
    "       velkin-pack transform <base.msi> <variant.msi> -o <transform.mst>\n"
    "       velkin-pack manifest <setup.exe>... --winget --id <Publisher.Package> --url <download URL>...\n"
    "                   [--license <text>] [--short-description <text>] [--locale <tag>] -o <directory>\n"
    "       velkin-pack manifest <setup.exe> --chocolatey --id <package-id> --url <download URL>\n"
    "                   [--description <text>] [--tags \"<tag> ...\"] [--license-file <file>]\n"
    "                   [--project-url <home page URL>] -o <directory>\n"
    "       velkin-pack manifest <setup.exe> --intune -o <directory>\n"
    "       velkin-pack --version | --help\n"
    "-- ends the options: what follows is a file, whatever its name.";

class UsageError {
public:
    explicit UsageError(std::string message) : message(std::move(message)) {}
    std::string message;
};

struct HelpRequested {};

bool isHelp(const tstring& arg) { return arg == L"-h" || arg == L"--help"; }

struct Option {
    const wchar_t* name;
    const wchar_t* alias;
    // Null for a flag.
    tstring* value;
    bool* flag;
    // For an option that may be given more than once, each value in turn.
    std::vector<tstring>* values = nullptr;
};

// Options, each with its value, and files: `what` each is; more than one
// only where `several` are taken.
void parseArguments(const tstring_array& args, size_t first, const std::vector<Option>& options,
                    const std::string& what, std::vector<tstring>& files, bool several) {
    bool optionsEnded = false;
    const auto addFile = [&](const tstring& file) {
        if (!several && !files.empty()) {
            throw UsageError("more than one " + what + " given");
        }
        files.push_back(file);
    };
    for (size_t i = first; i < args.size(); ++i) {
        const tstring& arg = args[i];
        if (optionsEnded) {
            addFile(arg);
            continue;
        }
        if (arg == L"--") {
            optionsEnded = true;
            continue;
        }
        if (isHelp(arg)) {
            throw HelpRequested();
        }
        const auto option = std::find_if(options.begin(), options.end(), [&arg](const Option& o) {
            return arg == o.name || (o.alias && arg == o.alias);
        });
        if (option != options.end()) {
            if (option->flag) {
                *option->flag = true;
                continue;
            }
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                throw UsageError(tstrings::toUtf8(arg) + " needs a value");
            }
            if (option->values) {
                option->values->push_back(args[++i]);
            } else {
                *option->value = args[++i];
            }
        } else if (!arg.empty() && arg[0] == L'-') {
            throw UsageError("unknown option " + tstrings::toUtf8(arg));
        } else {
            addFile(arg);
        }
    }
    if (files.empty()) {
        throw UsageError("no " + what + " given");
    }
}

// The same for a command that takes one file.
void parseArguments(const tstring_array& args, size_t first, const std::vector<Option>& options,
                    const std::string& what, tstring& file) {
    std::vector<tstring> files;
    parseArguments(args, first, options, what, files, false);
    file = files.front();
}

void requireOutput(const tstring& output) {
    if (output.empty()) {
        throw UsageError("no output given (-o)");
    }
}

void packCommand(const tstring_array& args) {
    PackRequest request;
    parseArguments(args, 0,
                   {{L"-o", L"--output", &request.output, nullptr},
                    {L"--stub", nullptr, &request.stub, nullptr},
                    {L"--icon", nullptr, &request.icon, nullptr},
                    {L"--sign-command", nullptr, &request.signCommand, nullptr},
                    {L"--language", nullptr, nullptr, nullptr, &request.languages}},
                   "package", request.package);
    requireOutput(request.output);
    if (!request.signCommand.empty() && !Signer::namesFile(request.signCommand)) {
        throw UsageError("--sign-command must name the file to sign as %1");
    }
    // The setup is a Windows program: a name that Windows cannot hold is
    // refused alike on both hosts, before anything is read.
    WindowsFileName::require(WindowsFileName::leafOf(request.output), "-o");
    const PackReport report = pack(request);
    for (const tstring& note : report.notes) {
        writeError("velkin-pack: " + visibleText(tstrings::toUtf8(note)) + "\n");
    }
    for (const tstring& warning : report.warnings) {
        writeError("velkin-pack: warning: " + visibleText(tstrings::toUtf8(warning)) + "\n");
    }
}

void reportCommand(const tstring_array& args) {
    tstring file;
    bool json = false;
    parseArguments(args, 1, {{L"--json", nullptr, nullptr, &json}}, "file", file);
    const FileContents contents = readFileContents(file);
    writeResult(json ? jsonReport(contents) : textReport(contents));
    const tstring versionProblem = ProductVersion::problemWith(contents.package.productVersion);
    if (!versionProblem.empty()) {
        writeError("velkin-pack: warning: " + visibleText(tstrings::toUtf8(versionProblem)) + "\n");
    }
    if (contents.isSetup && !contents.productCodeMatches) {
        // After the report, which shows both codes.
        VK_THROW_MSG("The product code resource of " << file << " does not name the product of "
                                                     << "its package: its \"uninstall\" would "
                                                     << "remove another product");
    }
}

void extractCommand(const tstring_array& args) {
    tstring setup;
    tstring output;
    parseArguments(args, 1, {{L"-o", L"--output", &output, nullptr}}, "setup executable", setup);
    requireOutput(output);
    extract(setup, output);
}

void transformCommand(const tstring_array& args) {
    std::vector<tstring> packages;
    tstring output;
    parseArguments(args, 1, {{L"-o", L"--output", &output, nullptr}}, "package", packages, true);
    if (packages.size() != 2) {
        throw UsageError("transform needs two packages, the base and its variant; " +
                         std::to_string(packages.size()) + " given");
    }
    requireOutput(output);
    makeTransform(packages[0], packages[1], output);
}

enum ManifestKind : unsigned { Winget = 1, Chocolatey = 2, Intune = 4 };

struct ManifestKindFlag {
    const wchar_t* name;
    ManifestKind kind;
    bool given;
};

// The options of `manifest`, each for the kinds that take it.
struct ManifestOption {
    const wchar_t* name;
    tstring value;
    // ManifestKind bits: the kinds that take it, and those that need it.
    unsigned takenBy;
    unsigned neededBy;
};

void manifestCommand(const tstring_array& args) {
    std::vector<tstring> setups;
    std::vector<tstring> urls;
    tstring directory;
    ManifestKindFlag kinds[] = {{L"--winget", Winget, false},
                                {L"--chocolatey", Chocolatey, false},
                                {L"--intune", Intune, false}};
    ManifestOption options[] = {
        {L"--id", {}, Winget | Chocolatey, Winget | Chocolatey},
        {L"--license", {}, Winget, 0},
        {L"--short-description", {}, Winget, 0},
        {L"--locale", {}, Winget, 0},
        {L"--description", {}, Chocolatey, 0},
        {L"--tags", {}, Chocolatey, 0},
        {L"--license-file", {}, Chocolatey, 0},
        {L"--project-url", {}, Chocolatey, 0},
    };
    std::vector<Option> parsed = {{L"-o", L"--output", &directory, nullptr},
                                  {L"--url", nullptr, nullptr, nullptr, &urls}};
    for (ManifestKindFlag& kind : kinds) {
        parsed.push_back({kind.name, nullptr, nullptr, &kind.given});
    }
    for (ManifestOption& option : options) {
        parsed.push_back({option.name, nullptr, &option.value, nullptr});
    }
    parseArguments(args, 1, parsed, "setup executable", setups, true);
    const auto given = [](const ManifestKindFlag& kind) { return kind.given; };
    if (std::count_if(std::begin(kinds), std::end(kinds), given) != 1) {
        throw UsageError("manifest needs one of --winget, --chocolatey and --intune");
    }
    const ManifestKindFlag& chosen = *std::find_if(std::begin(kinds), std::end(kinds), given);
    const std::string kindName = tstrings::toUtf8(chosen.name);
    for (const ManifestOption& option : options) {
        const std::string name = tstrings::toUtf8(option.name);
        if (!option.value.empty() && !(option.takenBy & chosen.kind)) {
            throw UsageError(name + " is not an option of manifest " + kindName);
        }
        if (option.value.empty() && (option.neededBy & chosen.kind)) {
            throw UsageError("manifest " + kindName + " needs " + name);
        }
    }
    for (const ManifestOption& option : options) {
        FieldChecks::requireText(option.value, tstrings::toUtf8(option.name));
    }
    for (const tstring& url : urls) {
        FieldChecks::requireText(url, "--url");
    }
    if (chosen.kind == Intune && !urls.empty()) {
        throw UsageError("--url is not an option of manifest " + kindName);
    }
    if (chosen.kind != Intune && urls.empty()) {
        throw UsageError("manifest " + kindName + " needs --url");
    }
    if (directory.empty()) {
        throw UsageError("manifest needs -o");
    }
    // One manifest set lists the installers of one version; the other
    // kinds package one setup.
    if (chosen.kind != Winget && setups.size() > 1) {
        throw UsageError("more than one setup executable given");
    }
    if (urls.size() != setups.size() && !urls.empty()) {
        throw UsageError("manifest needs one --url per setup, in the same order: " + std::to_string(setups.size()) +
                         " setups, " + std::to_string(urls.size()) + " --url");
    }
    const auto value = [&options](const wchar_t* name) {
        return std::find_if(std::begin(options), std::end(options),
                            [name](const ManifestOption& option) { return tstring(option.name) == name; })
            ->value;
    };
    if (chosen.kind == Winget) {
        WingetRequest request;
        request.setups = setups;
        request.id = value(L"--id");
        request.urls = urls;
        request.license = value(L"--license");
        request.shortDescription = value(L"--short-description");
        if (!value(L"--locale").empty()) {
            request.locale = value(L"--locale");
        }
        request.directory = directory;
        writeWingetManifests(request);
    } else if (chosen.kind == Chocolatey) {
        ChocolateyRequest request;
        request.setup = setups.front();
        request.id = value(L"--id");
        request.url = urls.front();
        request.description = value(L"--description");
        request.tags = value(L"--tags");
        request.licenseFile = value(L"--license-file");
        request.projectUrl = value(L"--project-url");
        request.directory = directory;
        writeChocolateyPackage(request);
    } else {
        writeIntunePackage(IntuneRequest{setups.front(), directory});
    }
}

// The text for the user: a located error's plain message.
std::string plainMessage(const std::exception& error) {
    if (const auto* located = dynamic_cast<const VkErrorBase*>(&error)) {
        return located->originalMessage();
    }
    return error.what();
}

void runCommand(const tstring_array& args) {
    const tstring command = args.empty() ? tstring() : args[0];
    if (command == L"--version") {
        if (args.size() > 1) {
            throw UsageError("--version takes nothing after it; " + tstrings::toUtf8(args[1]) + " given");
        }
        writeResult("velkin-pack " VELKIN_VERSION "\n");
    } else if (command == L"inspect") {
        reportCommand(args);
    } else if (command == L"extract") {
        extractCommand(args);
    } else if (command == L"transform") {
        transformCommand(args);
    } else if (command == L"manifest") {
        manifestCommand(args);
    } else {
        packCommand(args);
    }
}

} // namespace

int runPackCommand(const tstring_array& args) {
    static NopLogAppender quiet;
    processLogger().setAppender(&quiet);
    try {
        try {
            runCommand(args);
        } catch (const HelpRequested&) {
            writeResult(std::string(usage) + "\n");
        }
        return 0;
    } catch (const UsageError& e) {
        writeError("velkin-pack: " + visibleText(e.message) + "\n" + usage + "\n");
        return 2;
    } catch (const std::exception& e) {
        writeError("velkin-pack: error: " + visibleText(plainMessage(e)) + "\n");
        return 1;
    }
}
