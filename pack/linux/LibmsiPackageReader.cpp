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

PackageFacts readIsolated(const std::string& nativePath, const tstring& shownPath) {
    try {
        return decodeFacts(callIsolated(
            [&nativePath] {
                quietWriter();
                return encodeFacts(readWithLibmsi(nativePath));
            },
            timeLimitSeconds));
    } catch (const VkErrorBase& e) {
        VK_THROW_MSG(shownPath << " is not a Windows Installer package (" << e.originalMessage() << ")");
    }
}

tstring temporaryDirectory() {
    const char* configured = std::getenv("TMPDIR");
    return fromNative(configured && *configured ? configured : "/tmp");
}

} // namespace

PackageFacts readPackageFacts(const tstring& path) { return readIsolated(toNative(path), path); }

PackageFacts readEmbeddedPackageFacts(const tstring& path, uint64_t offset, uint64_t size) {
    // libmsi reads a package only from a file of its own: a copy that has no
    // name and goes with its last descriptor, which the reader inherits.
    StagedOutput copy(temporaryDirectory() + L"/velkin-package.msi");
    copy.copy(InputFile(path), offset, 0, size);
    return readIsolated("/proc/self/fd/" + std::to_string(descriptorOf(copy)), path);
}
