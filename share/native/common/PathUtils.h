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
// The length of the part that names a volume: "C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\", "\\.\C:\" or "\\?\Volume{...}\" (the
// closing separator counted where there is one). 0 for a path that depends on
// the current directory or drive: "dir", "\dir", "C:dir".
size_t rootLength(const tstring& path);
// A path with a root, as rootLength reads it.
bool isAbsolutePath(const tstring& path);
// The path with "." and empty components dropped and each ".." taking the
// component before it away, as the system resolves a path it is given (a
// ".." at the root stays at the root); the root is kept as it stands. A
// relative path keeps the ".." components that lead out of it.
tstring normalizePath(const tstring& path);
// Whether the path is in the system's "\\?\" form, which the system takes
// as it stands.
bool isVerbatimPath(const tstring& path);
// The ordinary form of a path in the system's "\\?\" form, for programs
// that resolve names relative to it by their text (the ordinary form
// resolves "." and ".."): "C:\a" of "\\?\C:\a", "\\server\share\a" of
// "\\?\UNC\server\share\a". The path itself when it has no ordinary form
// that names the same thing: another root, an empty, "." or ".." component,
// a component ending in a dot or a blank (dropped in the ordinary form), a
// slash (a separator there), or maxOrdinaryPathLength characters or more.
tstring ordinaryForm(const tstring& path);
// MAX_PATH, the terminator included.
constexpr size_t maxOrdinaryPathLength = 260;
// Whether the system's file functions need `path` in the "\\?\" form: it
// is not in that form, and has maxOrdinaryPathLength characters or more,
// which leave no room for the terminator (a machine may allow more).
bool needsVerbatimForm(const tstring& path);
// The "\\?\" form of an absolute path in the ordinary form, which the
// system's file functions take at any length: "\\?\C:\a" of "C:\a",
// "\\?\UNC\server\share\a" of "\\server\share\a"; any other path (a
// device's, one in that form already) as it stands.
tstring verbatimForm(const tstring& path);
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
