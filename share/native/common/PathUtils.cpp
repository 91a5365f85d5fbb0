#include "PathUtils.h"

#include <algorithm>

namespace FileUtils {

const tstring illegalFileNameCharacters = [] {
    tstring characters;
    for (wchar_t c = 0; c < 0x20; ++c) {
        characters += c;
    }
    return characters + L"<>:\"|?*/\\";
}();

bool isPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

tstring parentPath(const tstring& path) {
    size_t end = path.size();
    if (end >= 2 && path[end - 1] == L'.' && isPathSeparator(path[end - 2])) {
        end -= 2;
    }
    size_t separator = tstring::npos;
    for (size_t i = end; i-- > 0;) {
        if (isPathSeparator(path[i])) {
            separator = i;
            break;
        }
    }
    if (separator == tstring::npos) {
        return tstring();
    }
    while (separator > 0 && isPathSeparator(path[separator - 1])) {
        --separator;
    }
    return path.substr(0, separator);
}

namespace {

bool isDriveAt(const tstring& path, size_t at) {
    if (path.size() < at + 2 || path[at + 1] != L':') {
        return false;
    }
    const wchar_t letter = path[at];
    return (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
}

// Where the component that starts at `start` ends, its separator included.
size_t afterComponent(const tstring& path, size_t start) {
    size_t end = start;
    while (end < path.size() && !isPathSeparator(path[end])) {
        ++end;
    }
    return end < path.size() ? end + 1 : end;
}

// "C:", "C:\", or nothing.
size_t driveRootLength(const tstring& path, size_t at) {
    if (!isDriveAt(path, at)) {
        return 0;
    }
    return path.size() > at + 2 && isPathSeparator(path[at + 2]) ? at + 3 : at + 2;
}

} // namespace

size_t rootLength(const tstring& path) {
    if (isDriveAt(path, 0)) {
        return path.size() > 2 && isPathSeparator(path[2]) ? 3 : 0;
    }
    if (path.size() < 2 || !isPathSeparator(path[0]) || !isPathSeparator(path[1])) {
        return 0;
    }
    // The system's own namespaces: "\\?\" (no normalizing) and "\\.\" (devices).
    if (path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && isPathSeparator(path[3])) {
        if (const size_t drive = driveRootLength(path, 4)) {
            return drive;
        }
        if (path.size() >= 8 && tstrings::equals(path.substr(4, 3), L"UNC", tstrings::IgnoreCase) &&
            isPathSeparator(path[7])) {
            return afterComponent(path, afterComponent(path, 8));
        }
        return afterComponent(path, 4);
    }
    return afterComponent(path, afterComponent(path, 2));
}

bool isAbsolutePath(const tstring& path) { return rootLength(path) > 0; }

tstring normalizePath(const tstring& path) {
    const size_t root = rootLength(path);
    size_t prefix = root;
    if (root == 0) {
        // "C:dir" and "\dir" keep what they hang from.
        prefix = isDriveAt(path, 0) ? 2 : 0;
        while (prefix < path.size() && isPathSeparator(path[prefix])) {
            ++prefix;
        }
    }
    // Above a root there is nothing; above a relative path, whatever it is
    // taken relative to.
    const bool climbsOut = root == 0 && (prefix == 0 || !isPathSeparator(path[prefix - 1]));
    tstring_array components;
    for (size_t start = prefix; start < path.size();) {
        const size_t next = afterComponent(path, start);
        const size_t end = next > start && isPathSeparator(path[next - 1]) ? next - 1 : next;
        const tstring component = path.substr(start, end - start);
        start = next;
        if (component.empty() || component == L".") {
            continue;
        }
        if (component != L"..") {
            components.push_back(component);
        } else if (!components.empty() && components.back() != L"..") {
            components.pop_back();
        } else if (climbsOut) {
            components.push_back(component);
        }
    }
    tstring result = path.substr(0, prefix);
    if (root > 0 && !components.empty() && !isPathSeparator(result.back())) {
        result += L'\\';
    }
    return result + tstrings::join(components, L"\\");
}

bool isVerbatimPath(const tstring& path) { return tstrings::startsWith(path, L"\\\\?\\"); }

bool needsVerbatimForm(const tstring& path) { return path.size() >= maxOrdinaryPathLength && !isVerbatimPath(path); }

tstring verbatimForm(const tstring& path) {
    if (driveRootLength(path, 0) == 3) {
        return L"\\\\?\\" + path;
    }
    if (path.size() > 2 && isPathSeparator(path[0]) && isPathSeparator(path[1]) && path[2] != L'?' &&
        path[2] != L'.') {
        return L"\\\\?\\UNC\\" + path.substr(2);
    }
    return path;
}

tstring ordinaryForm(const tstring& path) {
    tstring ordinary;
    if (!isVerbatimPath(path)) {
        return path;
    }
    if (driveRootLength(path, 4) == 7) {
        ordinary = path.substr(4);
    } else if (path.size() > 7 && tstrings::equals(path.substr(4, 3), L"UNC", tstrings::IgnoreCase) &&
               path[7] == L'\\') {
        ordinary = path.substr(6);
        ordinary[0] = L'\\';
    } else {
        return path;
    }
    if (ordinary.size() >= maxOrdinaryPathLength || ordinary.find(L'/') != tstring::npos) {
        return path;
    }
    for (size_t start = rootLength(ordinary); start < ordinary.size();) {
        const size_t end = std::min(ordinary.find(L'\\', start), ordinary.size());
        const tstring component = ordinary.substr(start, end - start);
        if (component.empty() || component == L"." || component == L".." ||
            component.back() == L'.' || component.back() == L' ') {
            return path;
        }
        start = end + 1;
    }
    return ordinary;
}

tstring leafName(const tstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == tstring::npos ? path : path.substr(separator + 1);
}

tstring pathSuffix(const tstring& path) {
    const size_t dot = path.rfind(L'.');
    if (dot == tstring::npos) {
        return tstring();
    }
    if (path.find_first_of(L"\\/", dot) != tstring::npos) {
        return tstring();
    }
    // "..", alone or as the last component, has no suffix.
    if (dot > 0 && path[dot - 1] == L'.' && (dot == 1 || isPathSeparator(path[dot - 2]))) {
        return tstring();
    }
    return path.substr(dot);
}

tstring stripTrailingSeparators(const tstring& path) {
    size_t end = path.size();
    while (end > 0 && isPathSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

tstring joinPath(const tstring& a, const tstring& b) {
    if (a.empty()) {
        return b;
    }
    if (b.empty()) {
        return a;
    }
    const size_t skip = isPathSeparator(b[0]) ? 1 : 0;
    return stripTrailingSeparators(a) + L'\\' + b.substr(skip);
}

tstring replacePathSuffix(const tstring& path, const tstring& suffix) {
    return path.substr(0, path.size() - pathSuffix(path).size()) + suffix;
}

PathBuilder& PathBuilder::operator<<(const tstring& component) {
    path_ = joinPath(path_, component);
    return *this;
}

} // namespace FileUtils
