#pragma once

#include "ByteSource.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// An installer database's strings: `_StringPool` gives the code page and,
// for each string id from 1 on, its length in bytes and its reference count;
// `_StringData` holds the strings one after the other, in the code page's
// encoding. Tables refer to strings by id, 0 being the empty string, in
// references of two bytes, or three where the pool says so.
class StringPool {
public:
    // Throws a DamagedFileError when the pool and the data disagree.
    StringPool(const std::vector<uint8_t>& pool, const ByteSource& data);

    uint32_t codePage() const { return codePage_; }
    unsigned referenceSize() const { return referenceSize_; }
    // The string's bytes, as the database stores them; throws a
    // DamagedFileError for an id the pool does not have.
    const std::string& at(uint32_t id) const;

private:
    uint32_t codePage_ = 0;
    unsigned referenceSize_ = 2;
    std::vector<std::string> strings_;
};

// The strings of a new database or transform, each stored once and counted
// at every use, in the order of their first use.
class StringPoolBuilder {
public:
    // The id of `text` (0 for the empty string), counting one more use.
    uint32_t add(const std::string& text);
    // The id `add` gave `text`; 0 for the empty string.
    uint32_t id(const std::string& text) const;

    unsigned referenceSize() const;
    std::vector<uint8_t> pool(uint32_t codePage) const;
    std::vector<uint8_t> data() const;

private:
    struct Entry {
        std::string text;
        uint32_t uses;
    };
    std::vector<Entry> entries_;
    std::map<std::string, uint32_t> ids_;
};
