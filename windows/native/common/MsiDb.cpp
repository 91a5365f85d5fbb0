#include "MsiDb.h"

#include "Log.h"
#include "MsiApi.h"
#include "StagedFileWriter.h"

#include <vector>

namespace msi {

namespace {

constexpr uint32_t functionFailed = ERROR_FUNCTION_FAILED;

UniqueMsiHandle openDatabase(const tstring& path) {
    UniqueMsiHandle handle;
    const UINT status = api().openDatabase(path.c_str(), MSIDBOPEN_READONLY, handle.put());
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiOpenDatabase(")
                           << path << ", MSIDBOPEN_READONLY) failed",
                       status));
    }
    return handle;
}

} // namespace

Database::Database(const tstring& msiPath) : msiPath_(msiPath), handle_(openDatabase(msiPath)) {}

Database::Database(const Guid& productCode)
    : msiPath_(getProductInfo(productCode, L"LocalPackage")), handle_(openDatabase(msiPath_)) {}

tstring Database::getProperty(const tstring& name) const {
    // The name is a parameter of the query, never part of its text: whatever
    // it holds (a quote, say) it is only compared.
    const tstring query = L"SELECT Value FROM Property WHERE Property = ?";
    DatabaseRecord parameters(1);
    parameters.setString(1, name);
    DatabaseView view(*this, query, parameters);
    const DatabaseRecord record = view.fetch();
    if (record.getFieldCount() != 1) {
        VK_THROW(Error(tstrings::TextBuilder("record.getFieldCount(")
                           << msiPath_ << ", " << query << ") returned unexpected value",
                       0));
    }
    return record.getString(1);
}

tstring Database::getProperty(const std::nothrow_t&, const tstring& name) const {
    try {
        return getProperty(name);
    } catch (const NoMoreItemsError&) {
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    return tstring();
}

DatabaseRecord::DatabaseRecord(uint32_t fieldCount)
    : handle_(api().createRecord(fieldCount)) {
    if (!handle_) {
        VK_THROW(Error(tstrings::TextBuilder("MsiCreateRecord(") << fieldCount << ") failed",
                       functionFailed));
    }
}

DatabaseRecord::DatabaseRecord(DatabaseView& view) : DatabaseRecord(view.fetch()) {}

DatabaseRecord& DatabaseRecord::tryFetch(DatabaseView& view) { return *this = view.tryFetch(); }

DatabaseRecord& DatabaseRecord::fetch(DatabaseView& view) { return *this = view.fetch(); }

DatabaseRecord& DatabaseRecord::setString(uint32_t field, const tstring& value) {
    const UINT status = api().recordSetString(handle_.get(), field, value.c_str());
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiRecordSetString(")
                           << field << ", " << value << ") failed",
                       status));
    }
    return *this;
}

DatabaseRecord& DatabaseRecord::setInteger(uint32_t field, int32_t value) {
    const UINT status = api().recordSetInteger(handle_.get(), field, value);
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiRecordSetInteger(")
                           << field << ", " << value << ") failed",
                       status));
    }
    return *this;
}

DatabaseRecord& DatabaseRecord::setStreamFromFile(uint32_t field, const tstring& path) {
    const UINT status = api().recordSetStream(handle_.get(), field, path.c_str());
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiRecordSetStream(")
                           << field << ", " << path << ") failed",
                       status));
    }
    return *this;
}

uint32_t DatabaseRecord::getFieldCount() const {
    const int32_t count = static_cast<int32_t>(api().recordGetFieldCount(handle_.get()));
    if (count <= 0) {
        VK_THROW(Error(tstrings::TextBuilder("MsiRecordGetFieldCount() failed"), functionFailed));
    }
    return static_cast<uint32_t>(count);
}

int32_t DatabaseRecord::getInteger(uint32_t field) const {
    const int value = api().recordGetInteger(handle_.get(), field);
    if (static_cast<uint32_t>(value) == MSI_NULL_INTEGER) {
        VK_THROW(Error(tstrings::TextBuilder("MsiRecordGetInteger(") << field << ") failed",
                       functionFailed));
    }
    return value;
}

bool DatabaseRecord::isNull(uint32_t field) const {
    return api().recordIsNull(handle_.get(), field) != FALSE;
}

tstring DatabaseRecord::getString(uint32_t field) const {
    return getRecordString(handle_.get(), field);
}

void DatabaseRecord::saveStreamToFile(uint32_t field, const tstring& path) const {
    constexpr DWORD chunk = 0x100000;
    StagedFileWriter writer(path);
    std::vector<char> buffer(chunk);
    DWORD length = chunk;
    do {
        length = chunk;
        const UINT status = api().recordReadStream(handle_.get(), field, buffer.data(), &length);
        if (status != ERROR_SUCCESS) {
            VK_THROW(Error(tstrings::TextBuilder("MsiRecordReadStream() failed"), status));
        }
        writer.write(buffer.data(), length);
    } while (length == chunk);
    writer.finish();
}

DatabaseView::DatabaseView(const Database& db, const tstring& query,
                           const DatabaseRecord& parameters)
    : query_(query), db_(&db) {
    UINT status = api().databaseOpenView(db_->handle(), query_.c_str(), handle_.put());
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiDatabaseOpenView(") << query_ << ") failed",
                       status));
    }
    status = api().viewExecute(handle_.get(), parameters.handle());
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiViewExecute(") << query_ << ") failed", status));
    }
}

DatabaseRecord DatabaseView::tryFetch() {
    UniqueMsiHandle row;
    const UINT status = api().viewFetch(handle_.get(), row.put());
    if (status == ERROR_SUCCESS) {
        return DatabaseRecord(std::move(row));
    }
    if (status == ERROR_NO_MORE_ITEMS) {
        return DatabaseRecord();
    }
    VK_THROW(Error(tstrings::TextBuilder("MsiViewFetch(") << query_ << ") failed", status));
}

DatabaseRecord DatabaseView::fetch() {
    DatabaseRecord record = tryFetch();
    if (record.empty()) {
        VK_THROW(NoMoreItemsError(tstrings::TextBuilder("No more items in [")
                                  << query_ << "] query"));
    }
    return record;
}

DatabaseView& DatabaseView::modify(const DatabaseRecord& record, uint32_t mode) {
    const UINT status =
        api().viewModify(handle_.get(), static_cast<MSIMODIFY>(mode), record.handle());
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiViewModify(mode=") << mode << ") failed",
                       status));
    }
    return *this;
}

void closeDatabaseView(MSIHANDLE_T handle) {
    if (handle == 0) {
        return;
    }
    try {
        const UINT status = api().viewClose(handle);
        if (status == ERROR_SUCCESS) {
            closeMSIHANDLE(handle);
        } else {
            VK_WARNING("MsiViewClose(" << handle << ") failed with error=" << status);
        }
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
}

} // namespace msi
