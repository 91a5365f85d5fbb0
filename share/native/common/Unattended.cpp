#include "Unattended.h"

#include "CommandLine.h"

namespace {

bool unattendedRun = false;

bool isQuietSwitch(const tstring& token) {
    if (token.size() < 2 || (token[0] != L'/' && token[0] != L'-')) {
        return false;
    }
    const tstring name = tstrings::toLower(token.substr(1));
    if (name == L"quiet" || name == L"passive") {
        return true;
    }
    if (name[0] != L'q') {
        return false;
    }
    size_t modifiers = 1;
    if (modifiers < name.size() && (name[modifiers] == L'n' || name[modifiers] == L'b')) {
        ++modifiers;
    }
    return name.find_first_not_of(L"+-!", modifiers) == tstring::npos;
}

} // namespace

void setUnattendedRun(bool unattended) { unattendedRun = unattended; }

bool isUnattended(const tstring& msiexecArguments, bool windowStationVisible) {
    if (unattendedRun || !windowStationVisible) {
        return true;
    }
    for (const tstring& token : CommandLine::msiexecTokens(msiexecArguments)) {
        if (isQuietSwitch(token)) {
            return true;
        }
    }
    return false;
}
