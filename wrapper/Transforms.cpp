#include "Transforms.h"

#include "CommandLine.h"
#include "ErrorHandling.h"
#include "PathUtils.h"
#include "WinFileUtils.h"

#include <algorithm>

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

bool isRelative(const tstring& entry) {
    return !entry.empty() && entry[0] != L':' && !FileUtils::isPathSeparator(entry[0]) &&
           !(entry.size() >= 2 && entry[1] == L':');
}

// The ".." components that lead out of the folder an entry starts from.
size_t climbs(const tstring& entry) {
    const tstring normal = FileUtils::normalizePath(entry);
    size_t levels = 0;
    for (size_t at = 0; at + 2 <= normal.size() && normal.compare(at, 2, L"..") == 0 &&
                        (at + 2 == normal.size() || FileUtils::isPathSeparator(normal[at + 2]));
         at += 3) {
        ++levels;
    }
    return levels;
}

// What is wrong with a transform, and the way out.
[[noreturn]] void refuse(const tstrings::TextBuilder& problem) {
    VK_THROW_MSG(problem << ": name it by its full path");
}

} // namespace

tstring_array relativeTransforms(const tstring& arguments) {
    tstring_array found;
    for (const tstring& token : CommandLine::msiexecTokens(arguments)) {
        if (!tstrings::startsWith(token, propertyPrefix, tstrings::IgnoreCase)) {
            continue;
        }
        for (tstring entry : splitList(token.substr(propertyPrefix.size()))) {
            if (!entry.empty() && (entry[0] == L'@' || entry[0] == L'|')) {
                entry.erase(0, 1);
            }
            if (isRelative(entry)) {
                found.push_back(entry);
            }
        }
    }
    return found;
}

size_t levelsAbove(const tstring& arguments) {
    size_t deepest = 0;
    for (const tstring& entry : relativeTransforms(arguments)) {
        const size_t levels = climbs(entry);
        if (levels > maxLevelsAbove) {
            refuse(tstrings::TextBuilder("The transform ") << entry << " lies " << levels
                                                           << " folders above the setup's folder, more than "
                                                           << maxLevelsAbove);
        }
        deepest = std::max(deepest, levels);
    }
    return deepest;
}

void checkReachable(const tstring& arguments, const tstring& packageFolder) {
    if (!FileUtils::isVerbatimPath(packageFolder)) {
        return;
    }
    for (const tstring& entry : relativeTransforms(arguments)) {
        const tstring literal = FileUtils::joinPath(packageFolder, entry);
        if (FileUtils::normalizePath(literal) != literal) {
            refuse(tstrings::TextBuilder("The transform ") << entry << " cannot be found by msiexec from "
                                                           << packageFolder);
        }
    }
}

void stageTransforms(const tstring& arguments, const tstring& setupDir,
                     const tstring& packageDir) {
    for (const tstring& entry : relativeTransforms(arguments)) {
        const tstring source = FileUtils::normalizePath(FileUtils::joinPath(setupDir, entry));
        const tstring staged = FileUtils::normalizePath(FileUtils::joinPath(packageDir, entry));
        // Named twice, or named like the package itself: the first stays.
        if (FileUtils::pathExists(staged) || !FileUtils::pathExists(source) ||
            FileUtils::isDirectory(source)) {
            continue;
        }
        FileUtils::copyFile(source, staged, true);
    }
}

} // namespace Transforms
