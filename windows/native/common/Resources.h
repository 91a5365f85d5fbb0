#pragma once

#include "tstrings.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

struct HINSTANCE__;

// A resource identifier as text: the name itself, or "#" and the number.
tstring resourceIdentifierText(const wchar_t* identifier);

// One resource of a module, found afresh at every access. Names and types are
// identifiers as Windows takes them: a number up to 0xFFFF, or a pointer to a
// NUL-terminated name (matched without regard to case).
class Resource {
public:
    Resource(const wchar_t* name, const wchar_t* type, HINSTANCE__* module);
    Resource(uint16_t number, const wchar_t* type, HINSTANCE__* module);

    // The identifiers point into the object's own texts.
    Resource(const Resource&) = delete;
    Resource& operator=(const Resource&) = delete;

    bool available() const;
    // Present, but claiming more data than its part of the file holds: the
    // file was cut short or changed. Every access to such a resource throws.
    bool damaged() const;
    uint32_t size() const;
    // Valid while the module stays loaded.
    const void* rawData() const;
    std::vector<uint8_t> bytes() const;
    // Through a staging file: the destination holds exactly the data or, after
    // a failure, what it held before.
    void writeToFile(const tstring& destination) const;

protected:
    struct Data {
        const void* pointer;
        size_t size;
    };
    Data getPtr() const;

private:
    Data locate() const;
    const wchar_t* findName() const;

    tstring nameText_;
    const wchar_t* name_;
    tstring typeText_;
    const wchar_t* type_;
    HINSTANCE__* module_;
};

// One string of a module's string table.
class StringResource : public Resource {
public:
    StringResource(uint16_t number, HINSTANCE__* module);

    tstring string() const;
    // The default when the string cannot be read; the reason goes to the log.
    tstring string(const std::nothrow_t&, const tstring& defaultValue) const;
};
