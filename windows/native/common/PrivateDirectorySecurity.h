#pragma once

#include "tstrings.h"

#include <memory>

struct _SECURITY_ATTRIBUTES;

// A protected access list for a directory that only the current user, SYSTEM
// (the installer service) and the Administrators group may use; inherited by
// everything created inside it.
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
