#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

#include <cstddef>
#include <cstdint>

// The system's own resource writer (BeginUpdateResource and the rest): the
// tests' way to spoil a setup, and the reference that velkin-pack's writer is
// held to. Changes the resources of an executable file in one transaction:
// nothing is written unless commit() is called.
class ResourceUpdate {
public:
    explicit ResourceUpdate(const tstring& executable);

    // `type` and `name` are resource identifiers: a number up to 0xFFFF or
    // a name.
    ResourceUpdate& put(const wchar_t* type, const wchar_t* name, uint16_t language,
                        const void* data, size_t size);
    ResourceUpdate& remove(const wchar_t* type, const wchar_t* name, uint16_t language);

    void commit();

private:
    // Closing without a commit discards every change.
    struct Traits {
        using Handle = HANDLE;
        static Handle none() { return nullptr; }
        static bool isValid(Handle handle) { return handle != nullptr; }
        static void close(Handle handle) { ::EndUpdateResourceW(handle, TRUE); }
    };

    tstring executable_;
    UniqueAny<Traits> handle_;
};
