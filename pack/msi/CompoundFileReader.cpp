#include "CompoundFileReader.h"

#include "CompoundFileFormat.h"
#include "DamagedFile.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace CompoundFileFormat;
using LittleEndian::get16;
using LittleEndian::get32;

// What reading a stream needs, shared by the reader and the streams it
// hands out.
struct CompoundFileReader::Tables {
    const ByteSource& file;
    uint64_t offset;
    uint64_t size;
    uint32_t sectorSize = 0;
    std::vector<uint32_t> fat;
    std::vector<uint32_t> miniFat;
    std::vector<uint32_t> miniStream;

    // `length` bytes from `within` on in regular sector `sector`, which the
    // check found inside the file.
    void read(uint32_t sector, uint64_t within, void* buffer, size_t length) const {
        file.read(offset + (uint64_t{sector} + 1) * sectorSize + within, buffer, length);
    }
};

namespace {

using Tables = CompoundFileReader::Tables;

// A stream read through its chain, its sectors followed from the last place
// read.
class ChainBytes : public ByteSource {
public:
    ChainBytes(std::shared_ptr<const Tables> tables, uint32_t first, uint64_t size, bool mini)
        : tables_(std::move(tables)), first_(first), size_(size), mini_(mini), unit_(mini ? miniSectorSize
                                                                                        : tables_->sectorSize),
          placeSector_(first) {}

    uint64_t size() const override { return size_; }

    void read(uint64_t offset, void* buffer, size_t size) const override {
        if (offset > size_ || size > size_ - offset) {
            VK_THROW_MSG("Reading " << size << " bytes at " << offset << " goes beyond the " << size_
                                    << " bytes of the stream");
        }
        auto* to = static_cast<uint8_t*>(buffer);
        while (size != 0) {
            seek(offset / unit_);
            const uint64_t within = offset % unit_;
            size_t part = static_cast<size_t>(std::min<uint64_t>(unit_ - within, size));
            if (mini_) {
                const uint64_t at = uint64_t{placeSector_} * miniSectorSize + within;
                const uint64_t index = at / tables_->sectorSize;
                if (index >= tables_->miniStream.size()) {
                    VK_THROW_MSG("The stream's mini sector " << placeSector_ << " lies beyond its mini stream");
                }
                tables_->read(tables_->miniStream[static_cast<size_t>(index)], at % tables_->sectorSize, to, part);
            } else {
                // Sectors that follow each other in the file are read at once.
                const uint32_t start = placeSector_;
                while (part < size && next(placeSector_) == placeSector_ + 1) {
                    ++placeIndex_;
                    ++placeSector_;
                    part += static_cast<size_t>(std::min<uint64_t>(unit_, size - part));
                }
                tables_->read(start, within, to, part);
            }
            to += part;
            offset += part;
            size -= part;
        }
    }

private:
    uint32_t next(uint32_t sector) const {
        const std::vector<uint32_t>& table = mini_ ? tables_->miniFat : tables_->fat;
        return sector < table.size() ? table[sector] : endOfChain;
    }

    void seek(uint64_t index) const {
        if (index < placeIndex_) {
            placeIndex_ = 0;
            placeSector_ = first_;
        }
        for (; placeIndex_ < index; ++placeIndex_) {
            placeSector_ = next(placeSector_);
            if (placeSector_ > lastRegularSector) {
                VK_THROW_MSG("The stream's chain ends before its " << size_ << " bytes");
            }
        }
    }

    std::shared_ptr<const Tables> tables_;
    uint32_t first_;
    uint64_t size_;
    bool mini_;
    uint64_t unit_;
    mutable uint64_t placeIndex_ = 0;
    mutable uint32_t placeSector_;
};

// The sectors of one kind (the file's, or the mini stream's), whose chains
// are walked through `next`: each sector may be taken by one chain alone,
// once, so that walking every chain takes time in the number of sectors. A
// bit a sector tells whether it is taken.
class ChainWalker {
public:
    ChainWalker(const char* table, const char* unit, const std::vector<uint32_t>& next, uint64_t count)
        : table_(table), unit_(unit), next_(next), taken_(static_cast<size_t>(count), false) {}

    // Marks a sector as taken without a chain (the FAT's and DIFAT's own).
    void take(uint32_t sector) {
        inside(sector);
        if (taken_[sector]) {
            VK_THROW_DAMAGED("its " << unit_ << " " << sector << " lies in two " << table_ << " chains");
        }
        taken_[sector] = true;
    }

    // The chain from `first`, as long as it is: every sector inside, none
    // taken before. Its length, and its sectors in `sectors` when asked.
    uint64_t walk(uint32_t first, std::vector<uint32_t>* sectors = nullptr) {
        uint64_t length = 0;
        for (uint32_t sector = first; sector != endOfChain; ++length) {
            inside(sector);
            if (taken_[sector]) {
                if (reaches(first, length, sector)) {
                    VK_THROW_DAMAGED("its " << table_ << " chain loops at " << unit_ << " " << sector);
                }
                VK_THROW_DAMAGED("its " << unit_ << " " << sector << " lies in two " << table_ << " chains");
            }
            taken_[sector] = true;
            if (sectors) {
                sectors->push_back(sector);
            }
            if (sector >= next_.size()) {
                VK_THROW_DAMAGED("its " << table_ << " does not reach " << unit_ << " " << sector);
            }
            sector = next_[sector];
        }
        return length;
    }

private:
    void inside(uint32_t sector) const {
        if (sector >= taken_.size()) {
            VK_THROW_DAMAGED("its " << table_ << " chain points outside the file at " << unit_ << " " << sector);
        }
    }

    // Whether the first `length` sectors of the chain from `first` hold
    // `sector` (walked again only to name the damage).
    bool reaches(uint32_t first, uint64_t length, uint32_t sector) const {
        for (uint32_t at = first; length != 0; --length, at = next_[at]) {
            if (at == sector) {
                return true;
            }
        }
        return false;
    }

    const char* table_;
    const char* unit_;
    const std::vector<uint32_t>& next_;
    std::vector<bool> taken_;
};

class Reading {
public:
    Reading(const std::shared_ptr<Tables>& tables, CompoundStorage& root) : tables_(tables), root_(root) {}

    void read() {
        readHeader();
        readDifat();
        readFat();
        ChainWalker sectors("FAT", "sector", tables_->fat, sectorCount_);
        for (uint32_t sector : fatSectors_) {
            sectors.take(sector);
        }
        for (uint32_t sector : difatSectors_) {
            sectors.take(sector);
        }
        std::vector<uint32_t> directorySectors;
        sectors.walk(get32(&header_[directoryStartField]), &directorySectors);
        const std::vector<uint8_t> directory = readSectors(directorySectors);
        std::vector<uint32_t> miniFatSectors;
        sectors.walk(get32(&header_[miniFatStartField]), &miniFatSectors);
        if (miniFatSectors.size() != get32(&header_[miniFatCountField])) {
            VK_THROW_DAMAGED("its header counts " << get32(&header_[miniFatCountField])
                                                  << " mini FAT sectors, its chain " << miniFatSectors.size());
        }
        const std::vector<uint8_t> miniFat = readSectors(miniFatSectors);
        tables_->miniFat.resize(miniFat.size() / 4);
        for (size_t i = 0; i < tables_->miniFat.size(); ++i) {
            tables_->miniFat[i] = get32(&miniFat[4 * i]);
        }
        readDirectory(directory, sectors);
    }

private:
    void readHeader() {
        const uint64_t fileSize = tables_->size;
        if (fileSize < headerSize) {
            VK_THROW_DAMAGED("its " << fileSize << " bytes are fewer than a compound file's header takes");
        }
        header_.resize(headerSize);
        tables_->file.read(tables_->offset, header_.data(), header_.size());
        if (std::memcmp(header_.data(), signature, sizeof(signature)) != 0) {
            VK_THROW_DAMAGED("it does not start as a compound file does");
        }
        const uint16_t version = get16(&header_[majorVersionField]);
        const uint16_t shift = get16(&header_[sectorShiftField]);
        if (!((version == 3 && shift == 9) || (version == 4 && shift == 12))) {
            VK_THROW_DAMAGED("its header gives version " << version << " with sectors of 2^" << shift << " bytes");
        }
        if (get16(&header_[byteOrderField]) != 0xFFFE || get16(&header_[miniSectorShiftField]) != 6 ||
            get32(&header_[miniStreamCutoffField]) != miniStreamCutoff) {
            VK_THROW_DAMAGED("its header's byte order, mini sector size or mini stream cutoff is wrong");
        }
        version_ = version;
        tables_->sectorSize = uint32_t{1} << shift;
        if (fileSize < tables_->sectorSize) {
            VK_THROW_DAMAGED("its " << fileSize << " bytes are fewer than its header sector takes");
        }
        // Only whole sectors count: the readers differ on a sector cut
        // short, some reading it as if filled with zeros, others refusing it.
        sectorCount_ = (fileSize - tables_->sectorSize) / tables_->sectorSize;
        if (sectorCount_ > lastRegularSector) {
            VK_THROW_DAMAGED("it has more sectors than a compound file may number");
        }
    }

    // The FAT's sectors, from the header's DIFAT and the DIFAT's chain. The
    // chain is walked as far as the header counts it, whether its sectors
    // are needed or not: a reader that walks it all must find it sound.
    void readDifat() {
        const uint32_t fatCount = get32(&header_[fatCountField]);
        const uint32_t difatCount = get32(&header_[difatCountField]);
        const uint32_t perSector = tables_->sectorSize / 4;
        if (fatCount > sectorCount_ || difatCount > sectorCount_) {
            VK_THROW_DAMAGED("its header counts " << fatCount << " FAT and " << difatCount
                                                  << " DIFAT sectors, the file has " << sectorCount_);
        }
        for (size_t i = 0; i < headerDifatEntries && fatSectors_.size() < fatCount; ++i) {
            fatSectors_.push_back(get32(&header_[headerDifatField + 4 * i]));
        }
        uint32_t next = get32(&header_[difatStartField]);
        std::vector<uint8_t> sector(tables_->sectorSize);
        std::vector<bool> seen;
        if (difatCount != 0) {
            seen.resize(static_cast<size_t>(sectorCount_));
        }
        while (difatSectors_.size() < difatCount) {
            if (next == endOfChain || next == freeSector) {
                VK_THROW_DAMAGED("its DIFAT chain ends after " << difatSectors_.size() << " of the " << difatCount
                                                               << " sectors its header counts");
            }
            if (next >= sectorCount_) {
                VK_THROW_DAMAGED("its DIFAT chain points outside the file at sector " << next);
            }
            if (seen[next]) {
                VK_THROW_DAMAGED("its DIFAT chain loops at sector " << next);
            }
            seen[next] = true;
            difatSectors_.push_back(next);
            tables_->read(next, 0, sector.data(), sector.size());
            for (uint32_t i = 0; i + 1 < perSector && fatSectors_.size() < fatCount; ++i) {
                fatSectors_.push_back(get32(&sector[4 * i]));
            }
            next = get32(&sector[4 * (perSector - 1)]);
        }
        if (next != endOfChain && next != freeSector) {
            if (next < seen.size() && seen[next]) {
                VK_THROW_DAMAGED("its DIFAT chain loops at sector " << next);
            }
            if (difatCount == 0 && next >= sectorCount_) {
                VK_THROW_DAMAGED("its DIFAT starts outside the file at sector " << next);
            }
            if (difatCount != 0) {
                VK_THROW_DAMAGED("its DIFAT chain goes on past the " << difatCount
                                                                     << " sectors its header counts");
            }
        }
        if (fatSectors_.size() < fatCount) {
            VK_THROW_DAMAGED("its DIFAT lists " << fatSectors_.size() << " of its " << fatCount << " FAT sectors");
        }
    }

    // The FAT, its sectors read in runs where they follow each other.
    void readFat() {
        const uint32_t perSector = tables_->sectorSize / 4;
        std::vector<uint32_t>& fat = tables_->fat;
        fat.resize(fatSectors_.size() * size_t{perSector});
        std::vector<uint8_t> run;
        for (size_t i = 0; i < fatSectors_.size();) {
            const uint32_t first = fatSectors_[i];
            if (first >= sectorCount_) {
                VK_THROW_DAMAGED("its FAT sector " << first << " lies outside the file");
            }
            size_t count = 1;
            while (i + count < fatSectors_.size() && count < 128 && fatSectors_[i + count] == first + count &&
                   first + count < sectorCount_) {
                ++count;
            }
            run.resize(count * tables_->sectorSize);
            tables_->read(first, 0, run.data(), run.size());
            for (size_t at = 0; at < run.size(); at += 4) {
                fat[i * perSector + at / 4] = get32(&run[at]);
            }
            i += count;
        }
    }

    std::vector<uint8_t> readSectors(const std::vector<uint32_t>& chain) const {
        std::vector<uint8_t> bytes(chain.size() * size_t{tables_->sectorSize});
        for (size_t i = 0; i < chain.size(); ++i) {
            tables_->read(chain[i], 0, &bytes[i * tables_->sectorSize], tables_->sectorSize);
        }
        return bytes;
    }

    // Every entry reached from the root once, each storage's sibling tree in
    // order by an explicit stack: a long or deep tree costs no call stack.
    void readDirectory(const std::vector<uint8_t>& directory, ChainWalker& sectors) {
        entries_ = directory.size() / entrySize;
        directory_ = directory.data();
        if (entries_ == 0 || directory[typeField] != Root) {
            VK_THROW_DAMAGED("its directory has no root entry");
        }
        const uint8_t* root = directory_;
        nameOf(0);
        const uint64_t miniStreamSize = streamSize(root);
        sectors.walk(get32(root + startField), &tables_->miniStream);
        const uint64_t held = uint64_t{tables_->miniStream.size()} * tables_->sectorSize;
        if (held < miniStreamSize) {
            VK_THROW_DAMAGED("its mini stream holds " << miniStreamSize << " bytes, more than its chain's " << held);
        }
        ChainWalker miniSectors("mini FAT", "mini sector", tables_->miniFat,
                                (miniStreamSize + miniSectorSize - 1) / miniSectorSize);
        std::copy(root + clsidField, root + clsidField + 16, root_.clsid.begin());
        std::copy(root + stateField, root + stateField + root_.state.size(), root_.state.begin());

        reached_.assign(entries_, false);
        reached_[0] = true;
        struct Pending {
            uint32_t id;
            CompoundStorage* storage;
            size_t depth;
        };
        std::vector<Pending> storages{{0, &root_, 0}};
        std::vector<uint32_t> stack;
        while (!storages.empty()) {
            const Pending pending = storages.back();
            storages.pop_back();
            CompoundStorage& storage = *pending.storage;
            uint32_t id = get32(entry(pending.id) + childField);
            std::vector<uint32_t> childStorages;
            while (id != noStream || !stack.empty()) {
                for (; id != noStream; id = get32(entry(id) + leftField)) {
                    reach(id);
                    stack.push_back(id);
                }
                id = stack.back();
                stack.pop_back();
                const uint8_t* at = entry(id);
                switch (at[typeField]) {
                case Storage:
                    storage.storages.push_back(CompoundStorage{nameOf(id), {}, {}, {}, {}});
                    std::copy(at + clsidField, at + clsidField + 16, storage.storages.back().clsid.begin());
                    std::copy(at + stateField, at + stateField + EntryState().size(),
                              storage.storages.back().state.begin());
                    childStorages.push_back(id);
                    break;
                case Stream:
                    storage.streams.push_back(CompoundStream{nameOf(id), stream(id, sectors, miniSectors), {}});
                    std::copy(at + stateField, at + stateField + EntryState().size(),
                              storage.streams.back().state.begin());
                    break;
                default:
                    VK_THROW_DAMAGED("its directory entry " << id << " is of no known type");
                }
                id = get32(at + rightField);
            }
            if (!childStorages.empty() && pending.depth == deepestStorage) {
                VK_THROW_DAMAGED("its storages nest deeper than " << deepestStorage);
            }
            // The children's lists are whole: their places hold from here on.
            for (size_t i = childStorages.size(); i-- > 0;) {
                storages.push_back({childStorages[i], &storage.storages[i], pending.depth + 1});
            }
        }
    }

    const uint8_t* entry(uint32_t id) const { return directory_ + size_t{id} * entrySize; }

    void reach(uint32_t id) {
        if (id >= entries_) {
            VK_THROW_DAMAGED("its directory points at entry " << id << " of " << entries_);
        }
        if (reached_[id]) {
            VK_THROW_DAMAGED("its directory has a cycle at entry " << id);
        }
        reached_[id] = true;
    }

    // A name ends in its terminator, where its length says, and holds no
    // other: libmsi refuses a name of another length, msi.dll reads on.
    std::u16string nameOf(uint32_t id) const {
        const uint8_t* at = entry(id);
        const uint16_t bytes = get16(at + nameLengthField);
        if (bytes > maxNameBytes) {
            VK_THROW_DAMAGED("its directory entry " << id << " gives its name " << bytes
                                                    << " bytes, more than the 64 it may have");
        }
        if (bytes < 2 || bytes % 2 != 0) {
            VK_THROW_DAMAGED("its directory entry " << id << " gives its name " << bytes
                                                    << " bytes, which no name with its terminator takes");
        }
        std::u16string name;
        for (size_t i = 0; i + 2 < bytes; i += 2) {
            name.push_back(static_cast<char16_t>(get16(at + i)));
        }
        if (get16(at + bytes - 2) != 0 || name.find(char16_t{0}) != std::u16string::npos) {
            VK_THROW_DAMAGED("its directory entry " << id << " does not end its name where its length says");
        }
        return name;
    }

    std::shared_ptr<const ByteSource> stream(uint32_t id, ChainWalker& sectors, ChainWalker& miniSectors) {
        const uint8_t* at = entry(id);
        const uint64_t size = streamSize(at);
        const bool mini = size < miniStreamCutoff;
        const uint32_t first = get32(at + startField);
        const uint64_t unit = mini ? miniSectorSize : tables_->sectorSize;
        const uint64_t length = size == 0 ? 0 : (mini ? miniSectors : sectors).walk(first);
        if (length * unit < size) {
            VK_THROW_DAMAGED("its stream in directory entry " << id << " holds " << size
                                                              << " bytes, more than its chain's " << length * unit);
        }
        auto bytes = std::make_shared<ChainBytes>(tables_, first, size, mini);
        if (isSummaryInformation(at)) {
            checkSummaryInformation(*bytes);
        }
        return bytes;
    }

    static bool isSummaryInformation(const uint8_t* entry) {
        static const char16_t name[] = u"\x05SummaryInformation";
        if (get16(entry + nameLengthField) != sizeof(name)) {
            return false;
        }
        for (size_t i = 0; i < sizeof(name) / 2; ++i) {
            if (get16(entry + 2 * i) != name[i]) {
                return false;
            }
        }
        return true;
    }

    // The summary information is a property set: its header, the first
    // section's place, size and property table, each property inside the
    // section. The readers take a damaged one for an empty one, and judge
    // the package by what it then lacks. Read in pieces: a long one costs
    // no memory.
    static void checkSummaryInformation(const ByteSource& stream) {
        const auto damaged = [] { VK_THROW_DAMAGED("its summary information stream is damaged"); };
        const uint64_t size = stream.size();
        uint8_t header[48];
        if (size < sizeof(header)) {
            damaged();
        }
        stream.read(0, header, sizeof(header));
        if (get16(&header[0]) != 0xFFFE || get32(&header[24]) == 0) {
            damaged();
        }
        const uint64_t section = get32(&header[44]);
        if (section > size || size - section < 8) {
            damaged();
        }
        uint8_t sectionHeader[8];
        stream.read(section, sectionHeader, sizeof(sectionHeader));
        const uint64_t sectionSize = get32(&sectionHeader[0]);
        const uint64_t count = get32(&sectionHeader[4]);
        if (sectionSize < 8 || sectionSize > size - section || count > (sectionSize - 8) / 8) {
            damaged();
        }
        uint8_t properties[4096];
        for (uint64_t i = 0; i < count;) {
            const size_t part = static_cast<size_t>(std::min<uint64_t>(count - i, sizeof(properties) / 8));
            stream.read(section + 8 + 8 * i, properties, part * 8);
            for (size_t j = 0; j < part; ++j) {
                const uint64_t at = get32(&properties[8 * j + 4]);
                if (at < 8 + 8 * count || at > sectionSize - 4) {
                    damaged();
                }
            }
            i += part;
        }
    }

    // Version 3 files keep 32 bits of a stream's size; writers left the
    // others as they found them.
    uint64_t streamSize(const uint8_t* entry) const {
        const uint64_t low = get32(entry + sizeField);
        return version_ == 3 ? low : low | uint64_t{get32(entry + sizeField + 4)} << 32;
    }

    std::shared_ptr<Tables> tables_;
    CompoundStorage& root_;
    std::vector<uint8_t> header_;
    uint16_t version_ = 0;
    uint64_t sectorCount_ = 0;
    std::vector<uint32_t> fatSectors_;
    std::vector<uint32_t> difatSectors_;
    const uint8_t* directory_ = nullptr;
    size_t entries_ = 0;
    std::vector<bool> reached_;
};

} // namespace

CompoundFileReader::CompoundFileReader(const ByteSource& file, uint64_t offset, uint64_t size)
    : tables_(std::make_shared<Tables>(Tables{file, offset, size, 0, {}, {}, {}})) {
    Reading(tables_, root_).read();
}

CompoundFileReader::~CompoundFileReader() = default;
