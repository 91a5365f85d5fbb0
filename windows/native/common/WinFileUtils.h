#pragma once

#include "PathUtils.h"
#include "UniqueHandles.h"
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

// The one form of the names that Velkin's programs give what they make for a
// while (their private directories in the temporary directory, staging files
// beside a destination): "velkin-", 16 random hexadecimal digits and ".tmp".
// One form, so that one sweep (sweepLeftovers) tells them all from what other
// programs make.
extern const tstring velkinTempPrefix;
extern const tstring velkinTempSuffix;

// Prefix, 16 random hexadecimal digits and suffix: a name of one length on
// every run that nobody can guess. The prefix and suffix must be fit for a
// file name.
tstring tempName(const tstring& prefix, const tstring& suffix);
// Whether `name` is one that tempName(prefix, suffix) makes.
bool isTempName(const tstring& name, const tstring& prefix, const tstring& suffix);
// A new empty directory with a tempName in `directory`, which must exist:
// created by this call (never one that existed before), owned by the current
// user and accessible only to it, SYSTEM and the Administrators group.
tstring createTempDirectory(const tstring& prefix, const tstring& suffix,
                            const tstring& directory);
// The same with the names that `nextName` gives, tried in turn until one is
// free: only a name that is taken moves on to the next.
tstring createUniqueDirectory(const tstring& directory, const std::function<tstring()>& nextName);
// A new empty file in `directory` under the first free name that `nextName`
// gives (as for a directory), and its path; `file` holds it open for
// reading, writing and deletion, shared with nobody.
tstring createUniqueFile(const tstring& directory, const std::function<tstring()>& nextName,
                         UniqueHandle& file);
// The same with a tempName.
tstring createTempFile(const tstring& prefix, const tstring& suffix, const tstring& directory,
                       UniqueHandle& file);

void copyFile(const tstring& from, const tstring& to, bool failIfExists);

// Clears a read-only attribute that blocks the deletion. Deletes the file
// that the path names itself: one that leads elsewhere (the way Wine shows a
// Unix link to a file) is left as it is, with a warning, and the deletion
// fails.
void deleteFile(const tstring& path);
bool deleteFile(const tstring& path, const std::nothrow_t&);
// Removes an empty directory, or a directory link itself.
void deleteDirectory(const tstring& path);
bool deleteDirectory(const tstring& path, const std::nothrow_t&);

} // namespace FileUtils
