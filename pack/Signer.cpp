#include "Signer.h"

#include "ErrorHandling.h"
#include "PackFiles.h"
#include "Sha256.h"
#include "ShellCommand.h"

#include <array>

namespace {

std::array<uint8_t, 32> digestOf(const tstring& path) {
    const InputFile file(path);
    Sha256 sum;
    file.visit(0, file.size(), [&sum](uint64_t, const uint8_t* bytes, size_t size) { sum.add(bytes, size); });
    return sum.finish();
}

std::string howItEnded(const ShellCommand::Outcome& outcome) {
    return outcome.exited ? "the sign command exited with " + std::to_string(outcome.code)
                          : "the sign command was ended by signal " + std::to_string(outcome.code);
}

std::string whatItSaid(const ShellCommand::Outcome& outcome) {
    return outcome.lastErrorLine.empty() ? std::string("; it wrote nothing to standard error")
                                         : "; its last message: " + outcome.lastErrorLine;
}

} // namespace

bool Signer::namesFile(const tstring& commandLine) { return commandLine.find(L"%1") != tstring::npos; }

tstring Signer::commandFor(const tstring& file, const tstring& signedFile) const {
    tstring command;
    for (size_t i = 0; i < commandLine_.size(); ++i) {
        const bool marker = commandLine_[i] == L'%' && i + 1 < commandLine_.size();
        if (marker && commandLine_[i + 1] == L'1') {
            command += ShellCommand::quote(file);
            ++i;
        } else if (marker && commandLine_[i + 1] == L'2') {
            command += ShellCommand::quote(signedFile);
            ++i;
        } else {
            command += commandLine_[i];
        }
    }
    return command;
}

tstring Signer::sign(const tstring& step, const tstring& file, const tstring& signedFile) const {
    const bool inPlace = commandLine_.find(L"%2") == tstring::npos;
    const std::array<uint8_t, 32> before = digestOf(file);
    const ShellCommand::Outcome outcome = ShellCommand::run(commandFor(file, signedFile));
    if (!outcome.exited || outcome.code != 0) {
        VK_THROW_MSG(step << " failed: " << howItEnded(outcome) << whatItSaid(outcome));
    }
    const tstring result = inPlace ? file : signedFile;
    if (!PackFiles::exists(result) || PackFiles::isDirectory(result)) {
        VK_THROW_MSG(step << " failed: " << howItEnded(outcome) << " but wrote no signed file" << whatItSaid(outcome));
    }
    if (digestOf(result) == before) {
        VK_THROW_MSG(step << " failed: " << howItEnded(outcome) << " but left the file as it was"
                          << whatItSaid(outcome));
    }
    return result;
}
