#pragma once

#include "tstrings.h"

#include <memory>

struct _SECURITY_ATTRIBUTES;

// A protected access list for a directory that only the current user, SYSTEM
// (the installer service) and the Administrators group may use; inherited by
// everything created inside it. The current user owns the directory, also
// when it runs elevated (where Windows would make the Administrators group
// the owner).
class PrivateDirectorySecurity {
public:
    PrivateDirectorySecurity();
    ~PrivateDirectorySecurity();

    PrivateDirectorySecurity(const PrivateDirectorySecurity&) = delete;
    PrivateDirectorySecurity& operator=(const PrivateDirectorySecurity&) = delete;

    _SECURITY_ATTRIBUTES* attributes() const;
    // The descriptor in the system's string form.
    tstring sddl() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Whether the current user owns the file or directory that `handle` (opened
// with READ_CONTROL) refers to. False when the owner cannot be read.
bool isOwnedByCurrentUser(void* handle);
