#include "MsiQueries.h"

#include "DamagedFile.h"
#include "MsiDb.h"
#include "MsiSummaryInfo.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <algorithm>
#include <memory>
#include <new>
#include <set>

namespace {

// Windows Installer keeps a package's Authenticode signature in this stream
// of the package's structured storage, beside the database's own streams
// (whose names the installer encodes and so never start with \x05).
bool carriesDigitalSignature(const tstring& msiPath) {
    IStorage* rawStorage = nullptr;
    HRESULT result = ::StgOpenStorage(msiPath.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                      &rawStorage);
    if (FAILED(result)) {
        VK_THROW_DAMAGED("its structured storage cannot be opened: " << comErrorText(result));
    }
    const std::unique_ptr<IStorage, ReleaseDeleter> storage(rawStorage);
    IStream* rawStream = nullptr;
    result = storage->OpenStream(L"\x05" L"DigitalSignature", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                 &rawStream);
    const std::unique_ptr<IStream, ReleaseDeleter> stream(rawStream);
    if (result == STG_E_FILENOTFOUND) {
        return false;
    }
    if (FAILED(result)) {
        VK_THROW_DAMAGED("its signature cannot be looked for: " << comErrorText(result));
    }
    return true;
}

bool hasTable(const msi::Database& db, const tstring& table) {
    msi::DatabaseRecord name(1);
    name.setString(1, table);
    msi::DatabaseView view(db, L"SELECT `Name` FROM `_Tables` WHERE `Name` = ?", name);
    return !view.tryFetch().empty();
}

// Every row, as libmsi reads them on Linux: a name on two rows is noted,
// never settled by taking the one that the installer finds first.
void readProperties(const msi::Database& db, RawPackageFacts& facts) {
    if (!hasTable(db, L"Property")) {
        return;
    }
    const std::vector<tstring>& wanted = propertyNames();
    std::set<tstring> seen;
    msi::DatabaseView view(db, L"SELECT `Property`, `Value` FROM `Property`");
    for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
        const tstring name = row.getString(1);
        if (!seen.insert(name).second && facts.repeatedProperty.empty()) {
            facts.repeatedProperty = name;
        }
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end()) {
            facts.properties[name] = row.getString(2);
        }
    }
}

void readTables(const msi::Database& db, RawPackageFacts& facts) {
    if (hasTable(db, L"Media")) {
        msi::DatabaseView view(db, L"SELECT `LastSequence`, `Cabinet` FROM `Media`");
        for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
            facts.disks.push_back(RawPackageFacts::Disk{row.getInteger(1), row.getString(2)});
        }
    }
    if (hasTable(db, L"File")) {
        msi::DatabaseView view(db, L"SELECT `FileName`, `Attributes`, `Sequence` FROM `File`");
        for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
            facts.files.push_back(
                RawPackageFacts::File{row.getString(1), row.isNull(2) ? 0 : row.getInteger(2), row.getInteger(3)});
        }
    }
}

// A failure names what was read, never the query's text.
template <class Step>
void reading(const char* what, Step step) {
    try {
        step();
    } catch (const msi::Error& e) {
        if (e.getStatus() == ERROR_NOT_ENOUGH_MEMORY || e.getStatus() == ERROR_OUTOFMEMORY) {
            throw std::bad_alloc();
        }
        VK_THROW_DAMAGED(what << ": MSI error " << e.getStatus());
    }
}

} // namespace

RawPackageFacts readWithMsiDll(const tstring& path) {
    RawPackageFacts facts;
    {
        std::unique_ptr<msi::Database> db;
        try {
            db = std::make_unique<msi::Database>(path);
        } catch (const msi::Error& e) {
            VK_THROW_DAMAGED("MSI error " << e.getStatus());
        }
        reading("its Property table cannot be read", [&] { readProperties(*db, facts); });
        reading("the summary information cannot be read", [&] {
            const msi::SummaryInfo summary(*db);
            facts.revisionNumber = summary.getString(msi::SummaryInfo::RevisionNumber);
            facts.subject = summary.getString(msi::SummaryInfo::Subject);
            facts.comments = summary.getString(msi::SummaryInfo::Comments);
            facts.platformTemplate = summary.getString(msi::SummaryInfo::Template);
            facts.wordCount = summary.getInteger(msi::SummaryInfo::WordCount, 0);
        });
        reading("its Media or File table cannot be read", [&] { readTables(*db, facts); });
    }
    // The installer's handle is closed: structured storage opens the file on
    // its own.
    facts.isSigned = carriesDigitalSignature(path);
    return facts;
}
