#pragma once

#include "Guid.h"
#include "MsiUtils.h"
#include "tstrings.h"

#include <cstdint>
#include <new>
#include <utility>

namespace msi {

class DatabaseView;

// A package file opened read-only.
class Database {
public:
    explicit Database(const tstring& msiPath);
    // The cached package of an installed product.
    explicit Database(const Guid& productCode);

    // A value of the Property table; NoMoreItemsError when it is not there.
    tstring getProperty(const tstring& name) const;
    // Empty when the value cannot be read.
    tstring getProperty(const std::nothrow_t&, const tstring& name) const;

    const tstring& path() const { return msiPath_; }
    MSIHANDLE_T handle() const { return handle_.get(); }

private:
    tstring msiPath_;
    UniqueMsiHandle handle_;
};

// One record, owning its handle; empty when the handle is 0.
class DatabaseRecord {
public:
    DatabaseRecord() = default;
    explicit DatabaseRecord(uint32_t fieldCount);
    // The view's next row; NoMoreItemsError after the last.
    explicit DatabaseRecord(DatabaseView& view);
    // Takes over a record handle that the installer gave.
    explicit DatabaseRecord(UniqueMsiHandle handle) : handle_(std::move(handle)) {}

    // The view's next row, or an empty record after the last.
    DatabaseRecord& tryFetch(DatabaseView& view);
    DatabaseRecord& fetch(DatabaseView& view);

    DatabaseRecord& setString(uint32_t field, const tstring& value);
    DatabaseRecord& setInteger(uint32_t field, int32_t value);
    DatabaseRecord& setStreamFromFile(uint32_t field, const tstring& path);

    uint32_t getFieldCount() const;
    int32_t getInteger(uint32_t field) const;
    bool isNull(uint32_t field) const;
    tstring getString(uint32_t field) const;
    // Through a staging file, in chunks of 1 MiB.
    void saveStreamToFile(uint32_t field, const tstring& path) const;

    bool empty() const { return !handle_; }
    MSIHANDLE_T handle() const { return handle_.get(); }

private:
    UniqueMsiHandle handle_;
};

// An SQL view over a database, executed at construction.
class DatabaseView {
public:
    DatabaseView(const Database& db, const tstring& query,
                 const DatabaseRecord& parameters = DatabaseRecord());

    // An empty record after the last row, again and again.
    DatabaseRecord tryFetch();
    // NoMoreItemsError after the last row.
    DatabaseRecord fetch();
    DatabaseView& modify(const DatabaseRecord& record, uint32_t mode);

private:
    tstring query_;
    const Database* db_;
    UniqueMsiHandle handle_;
};

// Closes a view with MsiViewClose, then frees its handle; a failed close is
// logged and the handle kept.
void closeDatabaseView(MSIHANDLE_T handle);

} // namespace msi
