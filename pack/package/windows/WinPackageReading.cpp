#include "PackageFacts.h"

#include "FactsMessage.h"

#include "ErrorHandling.h"
#include "LockedTempDirectory.h"
#include "PackFiles.h"
#include "PathUtils.h"
#include "ReaderProcess.h"
#include "StagedFileWriter.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"

#include <memory>
#include <optional>

namespace {

// A package of hundreds of MiB answers in a fraction of a second; a reader
// that takes this long is caught in a damaged one.
constexpr int timeLimitSeconds = 60;

RawPackageFacts answerOf(ReaderProcess& reader, const tstring& shownPath) {
    return factsFromReader([&reader] { return reader.answer(timeLimitSeconds); }, shownPath);
}

// A package's bytes in a file of their own, in a private directory (see
// LockedTempDirectory): msi.dll reads a package only from a whole file, and
// crashes on a path of MAX_PATH characters or more.
class PrivateCopy {
public:
    PrivateCopy(const InputFile& file, uint64_t offset, uint64_t size) {
        tstring tempDir;
        // The system's failures are the temporary directory's; the file's
        // own are sentences that name it, and pass.
        try {
            tempDir = SysInfo::getTempDir();
            // What runs ended hard left there goes first.
            sweepLeftovers(tempDir);
            directory_.emplace(tempDir);
            path_ = FileUtils::joinPath(directory_->path(), L"package.msi");
            StagedFileWriter writer(path_);
            file.visit(offset, size,
                       [&writer](uint64_t, const uint8_t* bytes, size_t part) { writer.write(bytes, part); });
            writer.finish();
        } catch (const SysError& e) {
            VK_THROW_MSG("Cannot make a file in the temporary directory " << tempDir << ": "
                                                                          << systemErrorDescription(e.getCode()));
        }
    }

    const tstring& path() const { return path_; }

private:
    std::optional<LockedTempDirectory> directory_;
    tstring path_;
};

// msi.dll takes a minute to give up on some damaged files: the file is
// checked first, by this process; one at a long path is read from a copy.
std::unique_ptr<PrivateCopy> checkedCopy(const tstring& path) {
    const InputFile file(path);
    requireSoundPackage(file, 0, file.size(), path);
    if (!FileUtils::needsVerbatimForm(path)) {
        return nullptr;
    }
    return std::make_unique<PrivateCopy>(file, 0, file.size());
}

} // namespace

struct PackageReading::Pending {
    explicit Pending(const tstring& path) : copy(checkedCopy(path)), reader(copy ? copy->path() : path) {}

    std::unique_ptr<PrivateCopy> copy;
    ReaderProcess reader;
};

PackageReading::PackageReading(const tstring& path) : path_(path), pending_(new Pending(path)) {}

PackageReading::~PackageReading() = default;

RawPackageFacts PackageReading::facts() { return answerOf(pending_->reader, path_); }

RawPackageFacts readEmbeddedPackageFacts(const tstring& path, uint64_t offset, uint64_t size) {
    const InputFile setup(path);
    requireSoundPackage(setup, offset, size, path);
    const PrivateCopy copy(setup, offset, size);
    ReaderProcess reader(copy.path());
    return answerOf(reader, path);
}
