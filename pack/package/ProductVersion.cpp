#include "ProductVersion.h"

#include "ErrorHandling.h"

#include <vector>

namespace ProductVersion {

namespace {

const wchar_t* const fieldNames[] = {L"major version", L"minor version", L"build", L"revision"};
const unsigned long limits[] = {255, 255, 65535, 65535};

std::vector<tstring> fields(const tstring& version) {
    std::vector<tstring> parts;
    size_t start = 0;
    for (size_t dot = version.find(L'.'); dot != tstring::npos; dot = version.find(L'.', start)) {
        parts.push_back(version.substr(start, dot - start));
        start = dot + 1;
    }
    parts.push_back(version.substr(start));
    return parts;
}

} // namespace

tstring problemWith(const tstring& version) {
    if (version.empty()) {
        return tstring();
    }
    const tstring start = L"The ProductVersion '" + version + L"' is no version that Windows Installer takes "
                          L"(major.minor.build[.revision]; major and minor up to 255, build up to 65535): ";
    const std::vector<tstring> parts = fields(version);
    if (parts.size() > 4) {
        return start + L"it has " + std::to_wstring(parts.size()) + L" fields";
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        const tstring& part = parts[i];
        if (part.empty() || part.find_first_not_of(L"0123456789") != tstring::npos) {
            return start + L"its " + fieldNames[i] + L" '" + part + L"' is no number";
        }
        if (part.size() > 5 || std::stoul(part) > limits[i]) {
            return start + L"its " + fieldNames[i] + L" " + part + L" is over " + std::to_wstring(limits[i]);
        }
    }
    return tstring();
}

void require(const tstring& version) {
    const tstring problem = problemWith(version);
    if (!problem.empty()) {
        VK_THROW_MSG(problem);
    }
}

} // namespace ProductVersion
