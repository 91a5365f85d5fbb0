#include "PackageFacts.h"

#include "FactsMessage.h"
#include "IsolatedCall.h"
#include "LibmsiQueries.h"
#include "PackFiles.h"
#include "PosixPackFiles.h"

#include "Descriptor.h"
#include "ErrorHandling.h"

#include <fcntl.h>
#include <glib.h>

#include <cstring>

namespace {

// A package of hundreds of MiB answers in a fraction of a second; a reader
// that takes this long is caught in a damaged one.
constexpr int timeLimitSeconds = 60;
// libmsi reads a package's tables, never its cabinets: velkin-pack read a
// 516 MB package whole within 12 MiB of address space, its libraries
// included. A file that libmsi would read without end, or a damaged package
// that has it allocate beyond reason, meets this bound instead of the
// machine's.
constexpr uint64_t addressSpaceAllowance = uint64_t{512} << 20;

// GLib's warnings go nowhere; its fatal errors (memory it could not have,
// after which it would abort) become the reader's answer.
void quietWriter() {
    g_log_set_writer_func(
        [](GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
            if (level & (G_LOG_FLAG_FATAL | G_LOG_LEVEL_ERROR)) {
                std::string message = "libmsi failed";
                for (gsize i = 0; i < count; ++i) {
                    if (std::strcmp(fields[i].key, "MESSAGE") == 0 && fields[i].length < 0) {
                        message = static_cast<const char*>(fields[i].value);
                    }
                }
                IsolatedCall::failInChild(message.find("failed to allocate") != std::string::npos
                                              ? IsolatedCall::memoryReasonInChild()
                                              : message);
            }
            return G_LOG_WRITER_HANDLED;
        },
        nullptr, nullptr);
}

// libmsi opens a package and its streams through descriptors of its own and,
// short of them, reads it as a package without tables ("has no ProductCode"):
// a limit (`ulimit -n`) that leaves too few is told as such. The reader
// needed 3 for the packages of the tests.
constexpr size_t descriptorsNeeded = 8;

void requireSpareDescriptors() {
    Descriptor opened[descriptorsNeeded];
    size_t count = 0;
    while (count < descriptorsNeeded) {
        opened[count].reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        if (!opened[count]) {
            break;
        }
        ++count;
    }
    if (count < descriptorsNeeded) {
        VK_THROW_MSG("Too many open files: reading a package takes " << descriptorsNeeded
                                                                      << " free file descriptors, and the limit "
                                                                         "(ulimit -n) leaves "
                                                                      << count);
    }
}

// The reader opens the file that this process has open, by its descriptor:
// the file checked is the file read, whatever takes its name meanwhile.
IsolatedCall startReading(int descriptor) {
    requireSpareDescriptors();
    return IsolatedCall(
        [descriptor] {
            quietWriter();
            return encodeFacts(readWithLibmsi("/proc/self/fd/" + std::to_string(descriptor)));
        },
        addressSpaceAllowance);
}

RawPackageFacts answerOf(IsolatedCall& reading, const tstring& shownPath) {
    return factsFromReader([&reading] { return reading.answer(timeLimitSeconds); }, shownPath);
}

// The reader starts on a file checked first, by this process.
const InputFile& checked(const InputFile& file) {
    requireSoundPackage(file, 0, file.size(), file.path());
    return file;
}

} // namespace

struct PackageReading::Pending {
    explicit Pending(const tstring& path) : file(path), reader(startReading(descriptorOf(checked(file)))) {}

    InputFile file;
    IsolatedCall reader;
};

PackageReading::PackageReading(const tstring& path) : path_(path), pending_(new Pending(path)) {}

PackageReading::~PackageReading() = default;

RawPackageFacts PackageReading::facts() { return answerOf(pending_->reader, path_); }

RawPackageFacts readEmbeddedPackageFacts(const tstring& path, uint64_t offset, uint64_t size) {
    // libmsi reads a package only from a file of its own: a private copy,
    // which the reader inherits.
    const InputFile setup(path);
    requireSoundPackage(setup, offset, size, path);
    const TemporaryCopy copy(setup, offset, size);
    IsolatedCall reading = startReading(copy.descriptor());
    return answerOf(reading, path);
}
