#include "RemovalSwitch.h"

#include "CommandLine.h"

#include <algorithm>

bool selectsRemoval(const tstring& arguments) {
    const tstring_array tokens = CommandLine::msiexecTokens(arguments);
    return std::find(tokens.begin(), tokens.end(), L"uninstall") != tokens.end();
}
