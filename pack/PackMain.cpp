// velkin-pack: wraps a Windows Installer package into a setup executable.
#include "LogAppenders.h"
#include "Packer.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <iostream>

namespace {

const char usage[] =
    "usage: velkin-pack <package.msi> -o <setup.exe> [--stub <velkin-setup.exe>] [--icon <file.ico>]";

class UsageError {
public:
    explicit UsageError(std::string message) : message(std::move(message)) {}
    std::string message;
};

PackRequest parseArguments(const tstring_array& args) {
    PackRequest request;
    for (size_t i = 0; i < args.size(); ++i) {
        const tstring& arg = args[i];
        tstring* option = nullptr;
        if (arg == L"-o" || arg == L"--output") {
            option = &request.output;
        } else if (arg == L"--stub") {
            option = &request.stub;
        } else if (arg == L"--icon") {
            option = &request.icon;
        } else if (!arg.empty() && arg[0] == L'-') {
            throw UsageError("unknown option " + tstrings::toUtf8(arg));
        } else if (request.package.empty()) {
            request.package = arg;
            continue;
        } else {
            throw UsageError("more than one package given");
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            throw UsageError(tstrings::toUtf8(arg) + " needs a value");
        }
        *option = args[++i];
    }
    if (request.package.empty()) {
        throw UsageError("no package given");
    }
    if (request.output.empty()) {
        throw UsageError("no output given (-o)");
    }
    return request;
}

// The text for the user: a located error's plain message.
std::string plainMessage(const std::exception& error) {
    if (const auto* located = dynamic_cast<const VkErrorBase*>(&error)) {
        return located->originalMessage();
    }
    return error.what();
}

} // namespace

int main() {
    static NopLogAppender quiet;
    processLogger().setAppender(&quiet);
    try {
        const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
        if (args.size() == 1 && args[0] == L"--version") {
            std::cout << "velkin-pack " VELKIN_VERSION << std::endl;
            return 0;
        }
        const PackRequest request = parseArguments(args);
        for (const tstring& warning : pack(request)) {
            std::cerr << "velkin-pack: warning: " << tstrings::toUtf8(warning) << std::endl;
        }
        return 0;
    } catch (const UsageError& e) {
        std::cerr << "velkin-pack: " << e.message << "\n" << usage << std::endl;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "velkin-pack: error: " << plainMessage(e) << std::endl;
        return 1;
    }
}
