#include "CompoundFileWriter.h"

#include "CompoundFileFormat.h"
#include "ErrorHandling.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

using namespace CompoundFileFormat;
using LittleEndian::put16;
using LittleEndian::put32;

namespace {

constexpr uint32_t sectorSize = 512;
constexpr uint32_t entriesPerSector = sectorSize / 4;
constexpr uint32_t difatEntriesPerSector = entriesPerSector - 1;
constexpr uint32_t directoryEntriesPerSector = sectorSize / entrySize;
// Version 3 keeps a stream's size in 32 bits, and readers take it as signed.
constexpr uint64_t largestStream = 0x80000000;
constexpr size_t maxNameUnits = maxNameBytes / 2 - 1;
constexpr size_t piece = 64 * 1024;

uint64_t sectorsFor(uint64_t bytes, uint64_t unit) { return (bytes + unit - 1) / unit; }

struct Entry {
    const std::u16string* name = nullptr;
    EntryType type = Unused;
    const Clsid* clsid = nullptr;
    const ByteSource* bytes = nullptr;
    uint64_t size = 0;
    uint32_t left = noStream;
    uint32_t right = noStream;
    uint32_t child = noStream;
    Colour colour = Black;
    uint32_t start = endOfChain;
};

// A storage's children sorted, their names checked.
struct Child {
    const std::u16string* name;
    const CompoundStorage* storage;
    const CompoundStream* stream;
};

void checkName(const std::u16string& name) {
    if (name.empty() || name.size() > maxNameUnits) {
        VK_THROW_MSG("A compound file's entry name has " << name.size() << " UTF-16 code units, not 1 to "
                                                          << maxNameUnits);
    }
    if (name.find(char16_t{0}) != std::u16string::npos) {
        VK_THROW_MSG("A compound file's entry name holds a zero code unit");
    }
}

// Where everything lies, from the sizes alone.
class Layout {
public:
    explicit Layout(const CompoundStorage& root) {
        static const std::u16string rootName = u"Root Entry";
        Entry rootEntry;
        rootEntry.name = &rootName;
        rootEntry.type = Root;
        rootEntry.clsid = &root.clsid;
        entries_.push_back(rootEntry);
        number(root);
        place();
    }

    const std::vector<Entry>& entries() const { return entries_; }
    uint64_t sectorCount() const { return fatSectors_ + difatSectors_ + fixedSectors_; }
    uint64_t fileSize() const { return (sectorCount() + 1) * sectorSize; }
    uint32_t fatSectors() const { return fatSectors_; }
    uint32_t difatSectors() const { return difatSectors_; }
    uint32_t directoryStart() const { return fatSectors_ + difatSectors_; }
    uint32_t directorySectors() const { return static_cast<uint32_t>(sectorsFor(entries_.size(), 4)); }
    uint32_t miniFatStart() const { return directoryStart() + directorySectors(); }
    uint32_t miniFatSectors() const { return static_cast<uint32_t>(sectorsFor(miniSectors_, entriesPerSector)); }
    uint32_t miniStreamStart() const { return miniFatStart() + miniFatSectors(); }
    uint32_t miniStreamSectors() const {
        return static_cast<uint32_t>(sectorsFor(miniSectors_ * miniSectorSize, sectorSize));
    }
    uint64_t miniSectors() const { return miniSectors_; }
    uint32_t streamsStart() const { return miniStreamStart() + miniStreamSectors(); }

private:
    // Entries numbered storage by storage, breadth first; each storage's
    // children in the format's order, its sibling tree built over them.
    void number(const CompoundStorage& root) {
        std::deque<std::pair<uint32_t, const CompoundStorage*>> storages{{0, &root}};
        while (!storages.empty()) {
            const auto [parent, storage] = storages.front();
            storages.pop_front();
            std::vector<Child> children;
            for (const CompoundStream& stream : storage->streams) {
                children.push_back({&stream.name, nullptr, &stream});
            }
            for (const CompoundStorage& child : storage->storages) {
                children.push_back({&child.name, &child, nullptr});
            }
            for (const Child& child : children) {
                checkName(*child.name);
            }
            std::sort(children.begin(), children.end(),
                      [](const Child& a, const Child& b) { return compareEntryNames(*a.name, *b.name) < 0; });
            for (size_t i = 1; i < children.size(); ++i) {
                if (compareEntryNames(*children[i - 1].name, *children[i].name) == 0) {
                    VK_THROW_MSG("A compound file's storage holds two entries of the same name, as the format "
                                 "compares names");
                }
            }
            const auto first = static_cast<uint32_t>(entries_.size());
            for (const Child& child : children) {
                Entry entry;
                entry.name = child.name;
                if (child.storage) {
                    entry.type = Storage;
                    entry.clsid = &child.storage->clsid;
                    entry.start = 0;
                    storages.emplace_back(static_cast<uint32_t>(entries_.size()), child.storage);
                } else {
                    entry.type = Stream;
                    entry.bytes = child.stream->bytes.get();
                    entry.size = entry.bytes ? entry.bytes->size() : 0;
                    if (entry.size > largestStream) {
                        VK_THROW_MSG("A stream of " << entry.size << " bytes is more than a compound file of "
                                                    << "version 3 holds (" << largestStream << ")");
                    }
                }
                entries_.push_back(entry);
                if (entries_.size() > lastRegularSector) {
                    VK_THROW_MSG("A compound file holds no more than " << lastRegularSector << " entries");
                }
            }
            entries_[parent].child = siblingTree(first, static_cast<uint32_t>(children.size()));
        }
    }

    // A balanced tree over the sorted entries from `first`, each subtree's
    // middle its root: every path from a node down to an empty place is as
    // long as any other or one longer, so colouring the deepest level of an
    // incomplete tree red makes a valid red-black tree.
    uint32_t siblingTree(uint32_t first, uint32_t count) {
        if (count == 0) {
            return noStream;
        }
        uint32_t depth = 0;
        while ((uint64_t{2} << depth) - 1 < count) {
            ++depth;
        }
        const bool complete = (uint64_t{2} << depth) - 1 == count;
        return subtree(first, first + count, 0, complete ? UINT32_MAX : depth);
    }

    uint32_t subtree(uint32_t begin, uint32_t end, uint32_t depth, uint32_t redDepth) {
        if (begin == end) {
            return noStream;
        }
        const uint32_t middle = begin + (end - begin) / 2;
        Entry& entry = entries_[middle];
        entry.colour = depth == redDepth ? Red : Black;
        entries_[middle].left = subtree(begin, middle, depth + 1, redDepth);
        entries_[middle].right = subtree(middle + 1, end, depth + 1, redDepth);
        return middle;
    }

    // Mini sectors and sectors for the streams, in the entries' order, then
    // the FAT large enough for every sector, itself and the DIFAT included.
    void place() {
        uint64_t streamSectors = 0;
        for (Entry& entry : entries_) {
            if (entry.type != Stream || entry.size == 0) {
                continue;
            }
            if (entry.size < miniStreamCutoff) {
                entry.start = static_cast<uint32_t>(miniSectors_);
                miniSectors_ += sectorsFor(entry.size, miniSectorSize);
            } else {
                streamSectors += sectorsFor(entry.size, sectorSize);
            }
        }
        fixedSectors_ = directorySectors() + sectorsFor(miniSectors_, entriesPerSector) +
                        sectorsFor(miniSectors_ * miniSectorSize, sectorSize) + streamSectors;
        if (fixedSectors_ > lastRegularSector) {
            VK_THROW_MSG("A compound file of " << fixedSectors_ << " sectors is more than the format numbers");
        }
        for (;;) {
            const uint64_t fat = sectorsFor(fatSectors_ + difatSectors_ + fixedSectors_, entriesPerSector);
            const uint64_t difat =
                fat > headerDifatEntries ? sectorsFor(fat - headerDifatEntries, difatEntriesPerSector) : 0;
            if (fat == fatSectors_ && difat == difatSectors_) {
                break;
            }
            fatSectors_ = static_cast<uint32_t>(fat);
            difatSectors_ = static_cast<uint32_t>(difat);
        }
        if (sectorCount() > lastRegularSector) {
            VK_THROW_MSG("A compound file of " << sectorCount() << " sectors is more than the format numbers");
        }
        if (miniSectors_ != 0) {
            entries_[0].start = miniStreamStart();
            entries_[0].size = miniSectors_ * miniSectorSize;
        }
        uint32_t next = streamsStart();
        for (Entry& entry : entries_) {
            if (entry.type == Stream && entry.size >= miniStreamCutoff) {
                entry.start = next;
                next += static_cast<uint32_t>(sectorsFor(entry.size, sectorSize));
            }
        }
    }

    std::vector<Entry> entries_;
    uint64_t miniSectors_ = 0;
    uint64_t fixedSectors_ = 0;
    uint32_t fatSectors_ = 0;
    uint32_t difatSectors_ = 0;
};

// The output gathered into pieces, its length counted.
class Output {
public:
    explicit Output(const std::function<void(const uint8_t*, size_t)>& out) : out_(out) { buffer_.reserve(piece); }

    void write(const uint8_t* data, size_t size) {
        written_ += size;
        while (size != 0) {
            const size_t part = std::min(size, piece - buffer_.size());
            buffer_.insert(buffer_.end(), data, data + part);
            data += part;
            size -= part;
            if (buffer_.size() == piece) {
                flush();
            }
        }
    }

    void zeros(uint64_t count) {
        static const uint8_t none[sectorSize] = {};
        for (; count != 0;) {
            const size_t part = static_cast<size_t>(std::min<uint64_t>(count, sizeof(none)));
            write(none, part);
            count -= part;
        }
    }

    // Zeros up to the next multiple of `unit`.
    void pad(uint64_t unit) { zeros((unit - written_ % unit) % unit); }

    void flush() {
        if (!buffer_.empty()) {
            out_(buffer_.data(), buffer_.size());
            buffer_.clear();
        }
    }

    uint64_t written() const { return written_; }

private:
    const std::function<void(const uint8_t*, size_t)>& out_;
    std::vector<uint8_t> buffer_;
    uint64_t written_ = 0;
};

// A table of sector numbers written a sector at a time.
class TableSector {
public:
    void put(uint32_t value) {
        put32(&bytes_[4 * count_], value);
        ++count_;
    }
    bool full() const { return count_ == entriesPerSector; }
    void emit(Output& out) {
        while (!full()) {
            put(freeSector);
        }
        out.write(bytes_, sizeof(bytes_));
        count_ = 0;
    }

private:
    uint8_t bytes_[sectorSize] = {};
    uint32_t count_ = 0;
};

class Writing {
public:
    Writing(const Layout& layout, Output& out) : layout_(layout), out_(out) {}

    void write() {
        header();
        fat();
        difat();
        directory();
        miniFat();
        miniStream();
        streams();
        out_.flush();
        if (out_.written() != layout_.fileSize()) {
            VK_THROW_MSG("The compound file came to " << out_.written() << " bytes, not the " << layout_.fileSize()
                                                      << " laid out");
        }
    }

private:
    void header() {
        uint8_t header[headerSize] = {};
        std::memcpy(header, signature, sizeof(signature));
        put16(&header[minorVersionField], 0x3E);
        put16(&header[majorVersionField], 3);
        put16(&header[byteOrderField], 0xFFFE);
        put16(&header[sectorShiftField], 9);
        put16(&header[miniSectorShiftField], 6);
        put32(&header[fatCountField], layout_.fatSectors());
        put32(&header[directoryStartField], layout_.directoryStart());
        put32(&header[miniStreamCutoffField], miniStreamCutoff);
        put32(&header[miniFatStartField], layout_.miniFatSectors() ? layout_.miniFatStart() : endOfChain);
        put32(&header[miniFatCountField], layout_.miniFatSectors());
        put32(&header[difatStartField], layout_.difatSectors() ? layout_.fatSectors() : endOfChain);
        put32(&header[difatCountField], layout_.difatSectors());
        for (uint32_t i = 0; i < headerDifatEntries; ++i) {
            put32(&header[headerDifatField + 4 * i], i < layout_.fatSectors() ? i : freeSector);
        }
        out_.write(header, sizeof(header));
    }

    // Every region is one run of sectors, each chain contiguous.
    void fat() {
        TableSector sector;
        const auto run = [&](uint64_t count, uint32_t mark) {
            for (uint64_t i = 0; i < count; ++i) {
                sector.put(mark);
                if (sector.full()) {
                    sector.emit(out_);
                }
            }
        };
        uint32_t at = 0;
        const auto chain = [&](uint64_t count) {
            for (uint64_t i = 0; i < count; ++i, ++at) {
                sector.put(i + 1 == count ? endOfChain : at + 1);
                if (sector.full()) {
                    sector.emit(out_);
                }
            }
        };
        run(layout_.fatSectors(), fatSector);
        run(layout_.difatSectors(), difatSector);
        at = layout_.directoryStart();
        chain(layout_.directorySectors());
        chain(layout_.miniFatSectors());
        chain(layout_.miniStreamSectors());
        for (const Entry& entry : layout_.entries()) {
            if (entry.type == Stream && entry.size >= miniStreamCutoff) {
                chain(sectorsFor(entry.size, sectorSize));
            }
        }
        const uint64_t last = layout_.fatSectors() * uint64_t{entriesPerSector} - layout_.sectorCount();
        run(last, freeSector);
    }

    void difat() {
        uint32_t fatSector = headerDifatEntries;
        for (uint32_t i = 0; i < layout_.difatSectors(); ++i) {
            TableSector sector;
            for (uint32_t j = 0; j < difatEntriesPerSector; ++j, ++fatSector) {
                sector.put(fatSector < layout_.fatSectors() ? fatSector : freeSector);
            }
            sector.put(i + 1 < layout_.difatSectors() ? layout_.fatSectors() + i + 1 : endOfChain);
            sector.emit(out_);
        }
    }

    void directory() {
        const std::vector<Entry>& entries = layout_.entries();
        for (size_t i = 0; i < layout_.directorySectors() * size_t{directoryEntriesPerSector}; ++i) {
            uint8_t bytes[entrySize] = {};
            if (i < entries.size()) {
                const Entry& entry = entries[i];
                for (size_t j = 0; j < entry.name->size(); ++j) {
                    put16(&bytes[2 * j], (*entry.name)[j]);
                }
                put16(&bytes[nameLengthField], static_cast<uint16_t>(2 * (entry.name->size() + 1)));
                bytes[typeField] = entry.type;
                bytes[colourField] = entry.colour;
                put32(&bytes[leftField], entry.left);
                put32(&bytes[rightField], entry.right);
                put32(&bytes[childField], entry.child);
                if (entry.clsid) {
                    std::copy(entry.clsid->begin(), entry.clsid->end(), &bytes[clsidField]);
                }
                put32(&bytes[startField], entry.start);
                put32(&bytes[sizeField], static_cast<uint32_t>(entry.size));
            } else {
                put32(&bytes[leftField], noStream);
                put32(&bytes[rightField], noStream);
                put32(&bytes[childField], noStream);
            }
            out_.write(bytes, sizeof(bytes));
        }
    }

    void miniFat() {
        if (layout_.miniFatSectors() == 0) {
            return;
        }
        TableSector sector;
        uint32_t at = 0;
        for (const Entry& entry : layout_.entries()) {
            if (entry.type != Stream || entry.size == 0 || entry.size >= miniStreamCutoff) {
                continue;
            }
            const uint64_t count = sectorsFor(entry.size, miniSectorSize);
            for (uint64_t i = 0; i < count; ++i, ++at) {
                sector.put(i + 1 == count ? endOfChain : at + 1);
                if (sector.full()) {
                    sector.emit(out_);
                }
            }
        }
        if (at % entriesPerSector != 0) {
            sector.emit(out_);
        }
    }

    void miniStream() {
        uint8_t bytes[miniStreamCutoff];
        for (const Entry& entry : layout_.entries()) {
            if (entry.type != Stream || entry.size == 0 || entry.size >= miniStreamCutoff) {
                continue;
            }
            const auto size = static_cast<size_t>(entry.size);
            entry.bytes->read(0, bytes, size);
            out_.write(bytes, size);
            out_.pad(miniSectorSize);
        }
        out_.pad(sectorSize);
    }

    void streams() {
        std::vector<uint8_t> bytes(piece);
        for (const Entry& entry : layout_.entries()) {
            if (entry.type != Stream || entry.size < miniStreamCutoff) {
                continue;
            }
            for (uint64_t at = 0; at < entry.size;) {
                const size_t part = static_cast<size_t>(std::min<uint64_t>(piece, entry.size - at));
                entry.bytes->read(at, bytes.data(), part);
                out_.write(bytes.data(), part);
                at += part;
            }
            out_.pad(sectorSize);
        }
    }

    const Layout& layout_;
    Output& out_;
};

} // namespace

uint64_t compoundFileSize(const CompoundStorage& root) { return Layout(root).fileSize(); }

void writeCompoundFile(const CompoundStorage& root, const std::function<void(const uint8_t*, size_t)>& out) {
    const Layout layout(root);
    Output output(out);
    Writing(layout, output).write();
}
