#pragma once

#include "PathUtils.h"
#include "tstrings.h"

#include <cstdint>
#include <new>

// The system's one way to the file system. Every change is traced; every
// failure throws, except in the forms that take std::nothrow and answer
// false instead. Deleting what is already gone counts as success.
namespace FileUtils {

bool pathExists(const tstring& path);
bool isDirectory(const tstring& path);
// The same test on an attribute word from a directory listing.
bool isDirectory(uint32_t attributes);
// A symbolic link or junction to a directory: never descended into, since what
// it points to lies outside the tree that contains it.
bool isDirectoryLink(const tstring& path);
bool isNonEmptyDirectory(const tstring& path);
bool isMissingPathError(uint32_t code);
// Both paths name one existing file or directory, however each is spelled
// (case, short names, links).
bool isSameFile(const tstring& a, const tstring& b);

// For an empty path, the current directory.
tstring toAbsolutePath(const tstring& path);

void createDirectories(const tstring& path);

// A new empty file named prefix, a number and suffix in `directory`.
tstring createTempFile(const tstring& prefix, const tstring& suffix, const tstring& directory);
// `path` itself when nothing is there yet, else a new sibling with its stem
// and suffix.
tstring createTempFile(const tstring& path);
// A new empty directory named prefix, a random number and suffix in
// `directory`, which must exist: created by this call (never one that existed
// before) and accessible only to the current user, SYSTEM and the
// Administrators group.
tstring createTempDirectory(const tstring& prefix, const tstring& suffix,
                            const tstring& directory);

void copyFile(const tstring& from, const tstring& to, bool failIfExists);
// Moves a file or a directory; creates the destination's parents first.
void moveFile(const tstring& from, const tstring& to, bool failIfExists);

// Clears a read-only attribute that blocks the deletion.
void deleteFile(const tstring& path);
bool deleteFile(const tstring& path, const std::nothrow_t&);
// Removes an empty directory, or a directory link itself.
void deleteDirectory(const tstring& path);
bool deleteDirectory(const tstring& path, const std::nothrow_t&);

} // namespace FileUtils
