#pragma once

#include "Guid.h"
#include "UniqueHandles.h"
#include "tstrings.h"

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace msi {

// An installer handle (32 bits); 0 is none. The installer's own type
// (MSIHANDLE) without its headers, so that an owner's slot is filled in by
// the installer's calls directly.
using MSIHANDLE_T = unsigned long;

// A failed installer call: its text, then "MSI error [<status>]" and the
// installer's own description of the status.
class Error : public std::runtime_error {
public:
    Error(const tstrings::TextBuilder& message, uint32_t status);
    Error(const std::string& message, uint32_t status);

    uint32_t getStatus() const { return status_; }

private:
    uint32_t status_;
};

// A query with no further row (ERROR_NO_MORE_ITEMS).
class NoMoreItemsError : public Error {
public:
    explicit NoMoreItemsError(const tstrings::TextBuilder& message);
};

tstring getProductInfo(const Guid& productCode, const tstring& name);
// Empty on any failure.
tstring getProductInfo(const std::nothrow_t&, const Guid& productCode, const tstring& name);

tstring getInstallerProperty(MSIHANDLE_T handle, const tstring& name);
tstring getInstallerProperty(const std::nothrow_t&, MSIHANDLE_T handle, const tstring& name);

// A string field of a record.
tstring getRecordString(MSIHANDLE_T record, uint32_t field);

bool isProductInstalled(const Guid& productCode);

// Whether the installer holds the product for the current user, installed or
// advertised (MsiQueryProductState: INSTALLSTATE_DEFAULT or
// INSTALLSTATE_ADVERTISED), and so applies its registered transforms itself
// at every further run. Not a product installed only for another user.
bool isProductRegistered(const Guid& productCode);

// Never throws; a failed close is logged.
void closeMSIHANDLE(MSIHANDLE_T handle);

struct MsiHandleTraits {
    using Handle = MSIHANDLE_T;
    static Handle none() { return 0; }
    static bool isValid(Handle handle) { return handle != 0; }
    static void close(Handle handle) { closeMSIHANDLE(handle); }
};

// A database, view or record handle of the installer.
using UniqueMsiHandle = UniqueAny<MsiHandleTraits>;

// Waits for a running installation to end; false when the time-out ran out.
// Never throws.
bool waitForInstallationCompletion(uint32_t timeoutMs);

} // namespace msi
