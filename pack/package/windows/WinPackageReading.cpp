#include "PackageFacts.h"

#include "FactsMessage.h"

#include "ErrorHandling.h"
#include "LockedTempDirectory.h"
#include "PackFiles.h"
#include "ReaderProcess.h"
#include "StagedFileWriter.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"

#include <optional>

namespace {

// A package of hundreds of MiB answers in a fraction of a second; a reader
// that takes this long is caught in a damaged one.
constexpr int timeLimitSeconds = 60;

RawPackageFacts answerOf(ReaderProcess& reader, const tstring& shownPath) {
    return factsFromReader([&reader] { return reader.answer(timeLimitSeconds); }, shownPath);
}

// msi.dll takes a minute to give up on some damaged files: the reader
// starts on a file checked first, by this process.
const tstring& checked(const tstring& path) {
    const InputFile file(path);
    requireSoundPackage(file, 0, file.size(), path);
    return path;
}

} // namespace

struct PackageReading::Pending {
    ReaderProcess reader;
};

PackageReading::PackageReading(const tstring& path)
    : path_(path), pending_(new Pending{ReaderProcess(checked(path))}) {}

PackageReading::~PackageReading() = default;

RawPackageFacts PackageReading::facts() { return answerOf(pending_->reader, path_); }

RawPackageFacts readEmbeddedPackageFacts(const tstring& path, uint64_t offset, uint64_t size) {
    const InputFile setup(path);
    requireSoundPackage(setup, offset, size, path);
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
        VK_THROW_MSG("Cannot make a file in the temporary directory " << tempDir << ": "
                                                                      << systemErrorDescription(e.getCode()));
    }
    ReaderProcess reader(copy);
    return answerOf(reader, path);
}
