// velkin-compound-copy <package> <copy>: copies a compound file storage by
// storage and stream by stream through CompoundFileReader and
// writeCompoundFile, for the tests that hand the copy to readers and
// installers we did not write.
#include "CompoundFileReader.h"
#include "CompoundFileWriter.h"
#include "ErrorHandling.h"
#include "NativeText.h"
#include "PackFiles.h"

#include <cstdio>
#include <exception>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velkin-compound-copy <package> <copy>\n");
        return 2;
    }
    try {
        const InputFile package(fromNative(argv[1]));
        const CompoundFileReader reader(package, 0, package.size());
        const std::unique_ptr<FILE, int (*)(FILE*)> copy(std::fopen(argv[2], "wb"), std::fclose);
        if (!copy) {
            VK_THROW_MSG("Cannot write " << argv[2]);
        }
        writeCompoundFile(reader.root(), [&](const uint8_t* bytes, size_t size) {
            if (std::fwrite(bytes, 1, size, copy.get()) != size) {
                VK_THROW_MSG("Cannot write " << argv[2]);
            }
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velkin-compound-copy: %s\n", e.what());
        return 1;
    }
    return 0;
}
