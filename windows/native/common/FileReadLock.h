#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

// Holds a file open for reading and denies everyone else writing, renaming
// and deletion for as long as it lives. Others may still read it.
class FileReadLock {
public:
    explicit FileReadLock(const tstring& path);

private:
    UniqueHandle file_;
};
