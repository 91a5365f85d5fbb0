#pragma once

#include "PathUtils.h"
#include "tstrings.h"

#include <cstdint>
#include <functional>
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

// Creates the missing levels below the path's root (a drive, a share, a
// "\\?\" volume), which is never created itself.
void createDirectories(const tstring& path);

// A new empty file named prefix, a number and suffix in `directory`.
tstring createTempFile(const tstring& prefix, const tstring& suffix, const tstring& directory);
// `path` itself when nothing is there yet, else a new sibling with its stem
// and suffix.
tstring createTempFile(const tstring& path);
// A new empty directory named prefix, 16 random hexadecimal digits and suffix
// in `directory`, which must exist: created by this call (never one that
// existed before), owned by the current user and accessible only to it,
// SYSTEM and the Administrators group.
tstring createTempDirectory(const tstring& prefix, const tstring& suffix,
                            const tstring& directory);
// The same with the names that `nextName` gives, tried in turn until one is
// free: only a name that is taken moves on to the next.
tstring createUniqueDirectory(const tstring& directory, const std::function<tstring()>& nextName);
// Whether `name` is one that createTempDirectory(prefix, suffix, ...) makes.
bool isTempDirectoryName(const tstring& name, const tstring& prefix, const tstring& suffix);

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
