#include "Signer.h"

#include "ErrorHandling.h"
#include "PackFiles.h"
#include "ShellCommand.h"

#include <algorithm>
#include <vector>

namespace {

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
        if (marker && (commandLine_[i + 1] == L'1' || commandLine_[i + 1] == L'2')) {
            const tstring& path = commandLine_[i + 1] == L'1' ? file : signedFile;
            // "%1", as Windows users write it, is quoted already.
            const bool inQuotes = i > 0 && commandLine_[i - 1] == L'"' && i + 2 < commandLine_.size() &&
                                  commandLine_[i + 2] == L'"';
            command += inQuotes ? ShellCommand::quoteWithin(path) : ShellCommand::quote(path);
            ++i;
        } else {
            command += commandLine_[i];
        }
    }
    return command;
}

tstring Signer::describe(SignStep step) {
    return step == SignStep::Package ? L"Signing the package" : L"Signing the setup";
}

tstring Signer::sign(SignStep signStep, const tstring& file, const tstring& signedFile,
                     const tstring& original) const {
    const tstring step = describe(signStep);
    const ShellCommand::Outcome outcome = ShellCommand::run(
        commandFor(file, signedFile), {{L"VELKIN_SIGN_STEP", signStep == SignStep::Package ? L"package" : L"setup"}});
    // Whatever the signer did then, the run was asked to end.
    if (outcome.interruptedBy != 0) {
        VK_THROW_MSG(step << " was interrupted by signal " << outcome.interruptedBy << ", passed on to the sign "
                          << "command: " << howItEnded(outcome)
                          << (outcome.groupKilled ? "; the processes it started that still ran "
                                                        + std::to_string(ShellCommand::groupEndSeconds)
                                                        + " s later were ended with SIGKILL"
                                                  : std::string())
                          << "; nothing was published");
    }
    if (!outcome.exited || outcome.code != 0) {
        VK_THROW_MSG(step << " failed: " << howItEnded(outcome) << whatItSaid(outcome));
    }
    const tstring result = signsInPlace() ? file : signedFile;
    if (!PackFiles::exists(result) || PackFiles::isDirectory(result)) {
        VK_THROW_MSG(step << " failed: " << howItEnded(outcome) << " but wrote no signed file" << whatItSaid(outcome));
    }
    // Its path is private: the user knows it as the sign command's output.
    const tstring kind = PackFiles::nonFileKind(result);
    if (!kind.empty()) {
        VK_THROW_MSG(step << " failed: " << howItEnded(outcome) << " but wrote " << kind
                          << " as its signed file, not a regular file");
    }
    if (sameBytes(InputFile(result), InputFile(original))) {
        VK_THROW_MSG(step << " failed: " << howItEnded(outcome) << " but left the file as it was"
                          << whatItSaid(outcome));
    }
    return result;
}
