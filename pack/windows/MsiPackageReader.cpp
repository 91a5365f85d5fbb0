#include "MsiReader.h"

#include "FactsMessage.h"

#include "ErrorHandling.h"
#include "LockedTempDirectory.h"
#include "MsiDb.h"
#include "MsiSummaryInfo.h"
#include "PackFiles.h"
#include "ReaderProcess.h"
#include "StagedFileWriter.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// Windows Installer keeps a package's Authenticode signature in this stream
// of the package's structured storage, beside the database's own streams
// (whose names the installer encodes and so never start with \x05).
bool carriesDigitalSignature(const tstring& msiPath) {
    IStorage* rawStorage = nullptr;
    HRESULT result = ::StgOpenStorage(msiPath.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                      &rawStorage);
    if (FAILED(result)) {
        VK_THROW_MSG("its structured storage cannot be opened: " << comErrorText(result));
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
        VK_THROW_MSG("its signature cannot be looked for: " << comErrorText(result));
    }
    return true;
}

bool hasTable(const msi::Database& db, const tstring& table) {
    msi::DatabaseRecord name(1);
    name.setString(1, table);
    msi::DatabaseView view(db, L"SELECT `Name` FROM `_Tables` WHERE `Name` = ?", name);
    return !view.tryFetch().empty();
}

void readProperties(const msi::Database& db, PackageFacts& facts) {
    for (const tstring& name : propertyNames()) {
        try {
            facts.properties[name] = db.getProperty(name);
        } catch (const msi::NoMoreItemsError&) {
        }
    }
}

void readTables(const msi::Database& db, PackageFacts& facts) {
    if (hasTable(db, L"Media")) {
        msi::DatabaseView view(db, L"SELECT `LastSequence`, `Cabinet` FROM `Media`");
        for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
            facts.disks.push_back(PackageFacts::Disk{row.getInteger(1), row.getString(2)});
        }
    }
    if (hasTable(db, L"File")) {
        msi::DatabaseView view(db, L"SELECT `FileName`, `Attributes`, `Sequence` FROM `File`");
        for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
            facts.files.push_back(
                PackageFacts::File{row.getString(1), row.isNull(2) ? 0 : row.getInteger(2), row.getInteger(3)});
        }
    }
}

// A package of hundreds of MiB answers in a fraction of a second; a reader
// that takes this long is caught in a damaged one.
constexpr int timeLimitSeconds = 60;

} // namespace

PackageFacts readWithMsiDll(const tstring& path) {
    PackageFacts facts;
    {
        std::unique_ptr<msi::Database> db;
        try {
            db = std::make_unique<msi::Database>(path);
        } catch (const msi::Error& e) {
            VK_THROW_MSG("MSI error " << e.getStatus());
        }
        readProperties(*db, facts);
        const msi::SummaryInfo summary(*db);
        facts.revisionNumber = summary.getString(msi::SummaryInfo::RevisionNumber);
        facts.subject = summary.getString(msi::SummaryInfo::Subject);
        facts.comments = summary.getString(msi::SummaryInfo::Comments);
        facts.platformTemplate = summary.getString(msi::SummaryInfo::Template);
        facts.wordCount = summary.getInteger(msi::SummaryInfo::WordCount, 0);
        readTables(*db, facts);
    }
    // The installer's handle is closed: structured storage opens the file on
    // its own.
    facts.isSigned = carriesDigitalSignature(path);
    return facts;
}

struct PackageReading::Pending {
    ReaderProcess reader;
};

PackageReading::PackageReading(const tstring& path) : path_(path), pending_(new Pending{ReaderProcess(path)}) {}

PackageReading::~PackageReading() = default;

PackageFacts PackageReading::facts() {
    try {
        return decodeFacts(pending_->reader.answer(timeLimitSeconds));
    } catch (const VkErrorBase& e) {
        VK_THROW_MSG(path_ << " is not a Windows Installer package (" << e.originalMessage() << ")");
    }
}

PackageFacts readEmbeddedPackageFacts(const tstring& path, uint64_t offset, uint64_t size) {
    const InputFile setup(path);
    tstring tempDir;
    std::optional<LockedTempDirectory> directory;
    tstring copy;
    // The system's failures are the temporary directory's; the setup's own
    // are sentences that name it, and pass.
    try {
        tempDir = SysInfo::getTempDir();
        // What runs ended hard left there goes first.
        sweepLeftovers(tempDir);
        directory.emplace(tempDir);
        copy = FileUtils::joinPath(directory->path(), L"package.msi");
        StagedFileWriter writer(copy);
        setup.visit(offset, size, [&writer](uint64_t, const uint8_t* bytes, size_t part) { writer.write(bytes, part); });
        writer.finish();
    } catch (const SysError& e) {
        VK_THROW(TemporaryFileError((tstrings::TextBuilder() << "Cannot make a file in the temporary directory "
                                                             << tempDir << ": " << systemErrorDescription(e.getCode()))
                                        .utf8()));
    }
    return readPackageFacts(copy);
}
