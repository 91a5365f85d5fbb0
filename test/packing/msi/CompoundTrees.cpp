#include "CompoundTrees.h"

#include "CompoundFileWriter.h"
#include "ErrorHandling.h"

#include <algorithm>
#include <sstream>

namespace {

std::string shown(const std::u16string& name) {
    std::string text;
    for (char16_t unit : name) {
        if (unit >= 0x20 && unit < 0x7F) {
            text.push_back(static_cast<char>(unit));
        } else {
            text += "\\u" + std::to_string(unit);
        }
    }
    return text;
}

void compareStreams(const std::string& path, const ByteSource& expected, const ByteSource& actual,
                    std::ostringstream& differences) {
    if (expected.size() != actual.size()) {
        differences << path << ": " << actual.size() << " bytes, not " << expected.size() << "\n";
        return;
    }
    std::vector<uint8_t> left(64 * 1024);
    std::vector<uint8_t> right(64 * 1024);
    for (uint64_t at = 0; at < expected.size();) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(left.size(), expected.size() - at));
        expected.read(at, left.data(), part);
        actual.read(at, right.data(), part);
        const auto differ = std::mismatch(left.begin(), left.begin() + part, right.begin());
        if (differ.first != left.begin() + part) {
            differences << path << ": differs at byte " << at + (differ.first - left.begin()) << "\n";
            return;
        }
        at += part;
    }
}

void compareStorages(const std::string& path, const CompoundStorage& expected, const CompoundStorage& actual,
                     std::ostringstream& differences) {
    if (expected.clsid != actual.clsid) {
        differences << path << ": another CLSID\n";
    }
    if (expected.streams.size() != actual.streams.size() || expected.storages.size() != actual.storages.size()) {
        differences << path << ": " << actual.streams.size() << " streams and " << actual.storages.size()
                    << " storages, not " << expected.streams.size() << " and " << expected.storages.size() << "\n";
    }
    for (const CompoundStream& stream : expected.streams) {
        const CompoundStream* found = findStream(actual, stream.name);
        if (!found) {
            differences << path << "/" << shown(stream.name) << ": missing\n";
            continue;
        }
        static const OwnedBytes none{std::vector<uint8_t>()};
        compareStreams(path + "/" + shown(stream.name), stream.bytes ? *stream.bytes : none,
                       found->bytes ? *found->bytes : none, differences);
    }
    for (const CompoundStorage& storage : expected.storages) {
        const CompoundStorage* found = findStorage(actual, storage.name);
        if (!found) {
            differences << path << "/" << shown(storage.name) << "/: missing\n";
            continue;
        }
        compareStorages(path + "/" + shown(storage.name), storage, *found, differences);
    }
}

} // namespace

void GeneratedBytes::read(uint64_t offset, void* buffer, size_t size) const {
    if (offset > size_ || size > size_ - offset) {
        VK_THROW_MSG("Reading " << size << " bytes at " << offset << " of " << size_);
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) {
        // A position's bytes differ from its neighbours' and from another
        // seed's: a sector read from the wrong place shows.
        const uint64_t at = offset + i;
        bytes[i] = static_cast<uint8_t>((at * 2654435761u + seed_ * 40503u + (at >> 9)) >> 3);
    }
}

CompoundStream generatedStream(const std::u16string& name, uint64_t size, uint32_t seed) {
    return CompoundStream{name, std::make_shared<GeneratedBytes>(size, seed)};
}

CompoundStorage storageNamed(const std::u16string& name, uint8_t clsidByte) {
    CompoundStorage storage;
    storage.name = name;
    for (size_t i = 0; i < storage.clsid.size(); ++i) {
        storage.clsid[i] = static_cast<uint8_t>(clsidByte == 0 ? 0 : clsidByte + i);
    }
    return storage;
}

std::vector<uint8_t> writtenBytes(const CompoundStorage& root) {
    std::vector<uint8_t> bytes;
    writeCompoundFile(root, [&](const uint8_t* data, size_t size) { bytes.insert(bytes.end(), data, data + size); });
    return bytes;
}

std::string treeDifferences(const CompoundStorage& expected, const CompoundStorage& actual) {
    std::ostringstream differences;
    compareStorages("", expected, actual, differences);
    return differences.str();
}

// A property set of one property (the code page), as short as the
// summary information may be.
CompoundStream summaryInformation() {
    std::vector<uint8_t> bytes(48 + 24);
    LittleEndian::put16(&bytes[0], 0xFFFE);
    LittleEndian::put32(&bytes[24], 1);
    const uint8_t fmtid[] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                             0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
    std::copy(std::begin(fmtid), std::end(fmtid), &bytes[28]);
    LittleEndian::put32(&bytes[44], 48);
    LittleEndian::put32(&bytes[48], 24);
    LittleEndian::put32(&bytes[52], 1);
    LittleEndian::put32(&bytes[56], 1);
    LittleEndian::put32(&bytes[60], 16);
    LittleEndian::put32(&bytes[64], 2);
    LittleEndian::put16(&bytes[68], 1252);
    return CompoundStream{u"\x05SummaryInformation", std::make_shared<OwnedBytes>(std::move(bytes))};
}

CompoundStorage knownTree() {
    CompoundStorage root = storageNamed(u"", 0x10);
    root.streams.push_back(summaryInformation());
    root.streams.push_back(generatedStream(u"\x4840\x3F3F\x4577\x446C\x3B6A\x45E4\x4824", 4095, 2));
    root.streams.push_back(generatedStream(u"\x4840\x3B3F\x43F2\x4438\x45B1", 4096, 3));
    root.streams.push_back(generatedStream(u"\x4840\x3F7F\x4164\x422F\x4836", 4097, 4));
    root.streams.push_back(generatedStream(u"Empty", 0, 5));
    root.streams.push_back(generatedStream(u"cabinet.cab", 70000, 6));
    root.streams.push_back(generatedStream(u"Mini", 1, 7));
    CompoundStorage transform = storageNamed(u"1031.mst", 0x80);
    transform.streams.push_back(summaryInformation());
    transform.streams.push_back(generatedStream(u"\x4840\x3F3F\x4577\x446C\x3B6A\x45E4\x4824", 100, 9));
    CompoundStorage inner = storageNamed(u"inner", 0x40);
    inner.streams.push_back(generatedStream(u"deep", 5000, 10));
    transform.storages.push_back(inner);
    root.storages.push_back(transform);
    root.storages.push_back(storageNamed(u"Nothing"));
    return root;
}
