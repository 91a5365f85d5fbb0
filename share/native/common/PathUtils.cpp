#include "PathUtils.h"

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

bool isAbsolutePath(const tstring& path) {
    if (path.size() >= 3 && path[1] == L':' && isPathSeparator(path[2])) {
        return (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    }
    return path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1]);
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
