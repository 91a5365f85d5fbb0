// What the tests need to look inside a compound file, through velkin-pack's
// own reader and writer:
//   velkin-test-compound streams <file>                 one line per stream:
//       its path (storages joined by '/', control characters as \xNN), size
//       and SHA-256
//   velkin-test-compound storage <file> <name> <out>    a substorage of the
//       root written as a file of its own (an embedded transform, to apply)
// Exits 1 with a line on standard error when it cannot.

#include "CompoundFileReader.h"
#include "CompoundFileWriter.h"
#include "PackFiles.h"
#include "Sha256.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string printable(const std::u16string& name) {
    std::string text;
    for (const char16_t unit : name) {
        char escaped[16];
        if (unit >= 0x20 && unit < 0x7F) {
            text.push_back(static_cast<char>(unit));
        } else {
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", static_cast<unsigned>(unit));
            text += escaped;
        }
    }
    return text;
}

void listStreams(const CompoundStorage& storage, const std::string& prefix) {
    for (const CompoundStream& stream : storage.streams) {
        Sha256 sum;
        std::vector<uint8_t> piece(1 << 16);
        const uint64_t size = stream.bytes->size();
        for (uint64_t at = 0; at < size; at += piece.size()) {
            const size_t count = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - at));
            stream.bytes->read(at, piece.data(), count);
            sum.add(piece.data(), count);
        }
        std::cout << prefix << printable(stream.name) << ' ' << size << ' ' << Sha256::hex(sum.finish()) << '\n';
    }
    for (const CompoundStorage& child : storage.storages) {
        listStreams(child, prefix + printable(child.name) + "/");
    }
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() < 2) {
            throw std::runtime_error("usage: streams <file> | storage <file> <name> <out>");
        }
        const InputFile file(tstrings::fromUtf8(args[1]));
        const CompoundFileReader reader(file, 0, file.size());
        if (args[0] == "streams" && args.size() == 2) {
            listStreams(reader.root(), "");
            return 0;
        }
        if (args[0] == "storage" && args.size() == 4) {
            const CompoundStorage* storage =
                findStorage(reader.root(), std::u16string(args[2].begin(), args[2].end()));
            if (!storage) {
                throw std::runtime_error("no storage " + args[2]);
            }
            std::ofstream out(args[3], std::ios::binary);
            writeCompoundFile(*storage, [&out](const uint8_t* bytes, size_t count) {
                out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
            });
            return out.good() ? 0 : 1;
        }
        throw std::runtime_error("unknown command " + args[0]);
    } catch (const std::exception& e) {
        std::cerr << "velkin-test-compound: " << e.what() << '\n';
        return 1;
    }
}
