#include "LanguageSelection.h"

#include "CommandLine.h"
#include "ErrorHandling.h"
#include "LanguageChoice.h"
#include "Log.h"
#include "MsiUtils.h"
#include "Resources.h"
#include "SetupResources.h"
#include "UiLanguages.h"
#include "WinSysInfo.h"

#include <string>
#include <vector>

namespace LanguageSelection {

namespace {

using LanguageChoice::LanguageId;

// None for a setup without a list: it offers its package as it is.
std::vector<LanguageId> offeredLanguages() {
    const Resource resource(SetupResources::languages, SetupResources::type,
                            SysInfo::getCurrentModuleHandle());
    if (!resource.available()) {
        return {};
    }
    const std::vector<uint8_t> bytes = resource.bytes();
    try {
        return LanguageChoice::parseList(std::string(bytes.begin(), bytes.end()));
    } catch (const VkErrorBase& e) {
        // velkin-pack writes the list: one it cannot have written is damage.
        VK_THROW_MSG("The setup " << SysInfo::getProcessModulePath() << " is damaged. "
                                  << e.originalMessage() << ". Get the setup again");
    }
}

Guid productCode() {
    const Resource code(SetupResources::productCode, SetupResources::type,
                        SysInfo::getCurrentModuleHandle());
    return SetupResources::decodeProductCode(code.bytes());
}

} // namespace

tstring msiexecArguments(const tstring& arguments) {
    const std::vector<LanguageId> offered = offeredLanguages();
    if (offered.size() < 2) {
        return arguments;
    }
    const std::vector<LanguageId> preferred = SysInfo::getUserUiLanguages();
    VK_INFO("Languages offered: " << LanguageChoice::describe(offered) << " (the first is the base)");
    VK_INFO("The user's languages: " << LanguageChoice::describe(preferred));
    if (CommandLine::setsProperty(arguments, L"TRANSFORMS")) {
        VK_INFO("No language chosen: the command line sets TRANSFORMS");
        return arguments;
    }
    const LanguageChoice::Choice choice = LanguageChoice::choose(preferred, offered);
    const tstrings::TextBuilder chosen = tstrings::TextBuilder("Language chosen: ")
                                         << LanguageChoice::describe(choice.language) << ", "
                                         << LanguageChoice::describe(choice) << "; ";
    if (choice.base) {
        VK_INFO(chosen << "no transform");
        return arguments;
    }
    if (msi::isProductRegistered(productCode())) {
        VK_INFO(chosen << "not applied: the product is installed, and the installer applies the "
                          "transforms of that installation itself");
        return arguments;
    }
    if (CommandLine::endsInsideQuotes(arguments)) {
        VK_INFO(chosen << "not applied: the command line ends inside quotes, where TRANSFORMS would "
                          "become part of the last value");
        return arguments;
    }
    const tstring property = LanguageChoice::transformsProperty(choice.language);
    VK_INFO(chosen << "msiexec is given " << property);
    return arguments.empty() ? property : arguments + L" " + property;
}

} // namespace LanguageSelection
