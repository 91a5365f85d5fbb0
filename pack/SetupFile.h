#pragma once

#include "Resources.h"
#include "WinDll.h"
#include "tstrings.h"

#include <string>

// A Velkin setup executable, loaded as data for reading what it carries.
class SetupFile {
public:
    // Throws an error for the user when the file is no program or carries no
    // package.
    explicit SetupFile(const tstring& path);

    const tstring& path() const { return path_; }
    // Valid while this object lives.
    const Resource& package() const { return package_; }
    // The text of the product code resource; empty when there is none.
    std::string productCode() const;

private:
    tstring path_;
    Dll module_;
    Resource package_;
};
