#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

#include <cstddef>
#include <cstdint>

// A whole file mapped read-only into memory.
class MappedFile {
public:
    explicit MappedFile(const tstring& path);
    ~MappedFile();

    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Null for an empty file.
    const uint8_t* data() const { return view_; }
    uint64_t size() const { return size_; }

private:
    UniqueHandle file_;
    UniqueHandle mapping_;
    const uint8_t* view_ = nullptr;
    uint64_t size_ = 0;
};
