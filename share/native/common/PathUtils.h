#pragma once

#include "tstrings.h"

// Path text: nothing here touches the file system. Backslash and slash are
// both separators on input; every path built here uses the backslash.
namespace FileUtils {

bool isPathSeparator(wchar_t c);

// "C:\a\b" gives "C:\a"; "C:\a\b\" gives "C:\a\b"; "C:\" gives "C:";
// a bare name gives "".
tstring parentPath(const tstring& path);
// The text after the last separator; empty when the path ends with one.
tstring leafName(const tstring& path);
// The extension with its dot: ".txt" of "a.b.txt", "" of "a\..".
tstring pathSuffix(const tstring& path);
// a and b with exactly one backslash between them.
tstring joinPath(const tstring& a, const tstring& b);
tstring stripTrailingSeparators(const tstring& path);
// A drive and a separator ("C:\"), or two separators (a share, or "\\?\").
// Anything else depends on the current directory or drive.
bool isAbsolutePath(const tstring& path);
tstring replacePathSuffix(const tstring& path, const tstring& suffix);

// The 32 control characters and < > : " | ? * / \.
extern const tstring illegalFileNameCharacters;

// Builds a path one component at a time: (PathBuilder() << dir << "main.msi").
class PathBuilder {
public:
    PathBuilder& operator<<(const tstring& component);
    const tstring& path() const { return path_; }
    operator const tstring&() const { return path_; }

private:
    tstring path_;
};

} // namespace FileUtils
