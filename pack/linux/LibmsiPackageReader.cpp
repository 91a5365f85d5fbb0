#include "PackageFacts.h"

#include "ErrorHandling.h"
#include "FactsMessage.h"
#include "IsolatedCall.h"
#include "LibmsiReader.h"
#include "NativeText.h"
#include "PackFiles.h"
#include "PosixHandles.h"

#include <glib.h>

#include <cstdlib>

namespace {

// A package of hundreds of MiB answers in a fraction of a second; a reader
// that takes this long is caught in a damaged one.
constexpr int timeLimitSeconds = 60;

void quietWriter() {
    g_log_set_writer_func([](GLogLevelFlags, const GLogField*, gsize, gpointer) { return G_LOG_WRITER_HANDLED; },
                          nullptr, nullptr);
}

IsolatedCall startReading(const std::string& nativePath) {
    return IsolatedCall([nativePath] {
        quietWriter();
        return encodeFacts(readWithLibmsi(nativePath));
    });
}

PackageFacts answerOf(IsolatedCall& reading, const tstring& shownPath) {
    try {
        return decodeFacts(reading.answer(timeLimitSeconds));
    } catch (const VkErrorBase& e) {
        VK_THROW_MSG(shownPath << " is not a Windows Installer package (" << e.originalMessage() << ")");
    }
}

tstring temporaryDirectory() {
    const char* configured = std::getenv("TMPDIR");
    return fromNative(configured && *configured ? configured : "/tmp");
}

} // namespace

struct PackageReading::Pending {
    IsolatedCall reader;
};

PackageReading::PackageReading(const tstring& path)
    : path_(path), pending_(new Pending{startReading(toNative(path))}) {}

PackageReading::~PackageReading() = default;

PackageFacts PackageReading::facts() { return answerOf(pending_->reader, path_); }

PackageFacts readEmbeddedPackageFacts(const tstring& path, uint64_t offset, uint64_t size) {
    // libmsi reads a package only from a file of its own: a copy that has no
    // name and goes with its last descriptor, which the reader inherits.
    StagedOutput copy(temporaryDirectory() + L"/velkin-package.msi");
    copy.copy(InputFile(path), offset, 0, size);
    IsolatedCall reading = startReading("/proc/self/fd/" + std::to_string(descriptorOf(copy)));
    return answerOf(reading, path);
}
