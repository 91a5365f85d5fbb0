#pragma once

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
    ~ResourceUpdate();

    ResourceUpdate(const ResourceUpdate&) = delete;
    ResourceUpdate& operator=(const ResourceUpdate&) = delete;

    // `type` and `name` are resource identifiers: a number up to 0xFFFF or
    // a name.
    ResourceUpdate& put(const wchar_t* type, const wchar_t* name, uint16_t language,
                        const void* data, size_t size);
    ResourceUpdate& remove(const wchar_t* type, const wchar_t* name, uint16_t language);

    void commit();

private:
    tstring executable_;
    void* handle_;
};
