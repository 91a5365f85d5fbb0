#include "Transforms.h"

#include "CommandLine.h"
#include "PathUtils.h"
#include "WinFileUtils.h"

namespace Transforms {

namespace {

const tstring propertyPrefix = L"TRANSFORMS=";

tstring_array splitList(const tstring& list) {
    tstring_array entries;
    size_t start = 0;
    for (;;) {
        const size_t end = list.find(L';', start);
        entries.push_back(list.substr(start, end == tstring::npos ? tstring::npos : end - start));
        if (end == tstring::npos) {
            return entries;
        }
        start = end + 1;
    }
}

// A plain relative path whose every component is a name.
bool staysInside(const tstring& path) {
    if (path.empty() || FileUtils::isPathSeparator(path[0]) ||
        path.find_first_of(L":<>\"|?*") != tstring::npos) {
        return false;
    }
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < path.size() && !FileUtils::isPathSeparator(path[end])) {
            ++end;
        }
        const tstring component = path.substr(start, end - start);
        if (component.empty() || component == L"." || component == L"..") {
            return false;
        }
        if (end == path.size()) {
            return true;
        }
        start = end + 1;
    }
}

} // namespace

tstring_array relativeTransforms(const tstring& arguments) {
    tstring_array found;
    for (const tstring& token : CommandLine::msiexecTokens(arguments)) {
        if (!tstrings::startsWith(token, propertyPrefix, tstrings::IgnoreCase)) {
            continue;
        }
        tstring list = token.substr(propertyPrefix.size());
        if (!list.empty() && list[0] == L'|') {
            continue;
        }
        for (tstring entry : splitList(list)) {
            if (!entry.empty() && entry[0] == L'@') {
                entry.erase(0, 1);
            }
            if (staysInside(entry)) {
                found.push_back(entry);
            }
        }
    }
    return found;
}

void stageTransforms(const tstring& arguments, const tstring& sourceDir,
                     const tstring& packageDir) {
    for (const tstring& transform : relativeTransforms(arguments)) {
        const tstring source = FileUtils::joinPath(sourceDir, transform);
        const tstring staged = FileUtils::joinPath(packageDir, transform);
        // Named twice, or named like the package itself: the first stays.
        if (FileUtils::pathExists(staged) || !FileUtils::pathExists(source) ||
            FileUtils::isDirectory(source)) {
            continue;
        }
        FileUtils::copyFile(source, staged, true);
    }
}

} // namespace Transforms
