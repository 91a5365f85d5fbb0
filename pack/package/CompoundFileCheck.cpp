#include "CompoundFileCheck.h"

#include "DamagedFile.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using LittleEndian::get16;
using LittleEndian::get32;

namespace {

constexpr uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t headerSize = 512;
constexpr size_t headerDifatEntries = 109;
constexpr uint32_t lastRegularSector = 0xFFFFFFFA;
constexpr uint32_t endOfChain = 0xFFFFFFFE;
constexpr uint32_t noStream = 0xFFFFFFFF;
constexpr size_t directoryEntrySize = 128;
constexpr uint32_t miniSectorSize = 64;
constexpr uint32_t miniStreamCutoff = 4096;

enum EntryType : uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

// A window on the file: the package may lie inside a larger one.
class Window {
public:
    Window(const ByteSource& file, uint64_t offset, uint64_t size) : file_(file), offset_(offset), size_(size) {}

    uint64_t size() const { return size_; }
    void read(uint64_t at, void* buffer, size_t size) const { file_.read(offset_ + at, buffer, size); }

private:
    const ByteSource& file_;
    uint64_t offset_;
    uint64_t size_;
};

// The sectors of one kind (the file's, or the mini stream's), whose chains
// are walked through `next`: each sector may be taken by one chain alone,
// once, so that walking every chain takes time in the number of sectors.
class ChainWalker {
public:
    ChainWalker(const char* table, const char* unit, const std::vector<uint32_t>& next, uint64_t count)
        : table_(table), unit_(unit), next_(next), owner_(static_cast<size_t>(count), 0) {}

    // Marks a sector as taken without a chain (the FAT's and DIFAT's own).
    void take(uint32_t sector) { claim(sector, ++chains_); }

    // The chain from `first`, as long as it is: every sector inside, none
    // taken before.
    std::vector<uint32_t> walk(uint32_t first) {
        const uint32_t chain = ++chains_;
        std::vector<uint32_t> sectors;
        for (uint32_t sector = first; sector != endOfChain;) {
            claim(sector, chain);
            sectors.push_back(sector);
            if (sector >= next_.size()) {
                VK_THROW_DAMAGED("its " << table_ << " does not reach " << unit_ << " " << sector);
            }
            sector = next_[sector];
        }
        return sectors;
    }

private:
    void claim(uint32_t sector, uint32_t chain) {
        if (sector >= owner_.size()) {
            VK_THROW_DAMAGED("its " << table_ << " chain points outside the file at " << unit_ << " " << sector);
        }
        if (owner_[sector] == chain) {
            VK_THROW_DAMAGED("its " << table_ << " chain loops at " << unit_ << " " << sector);
        }
        if (owner_[sector] != 0) {
            VK_THROW_DAMAGED("its " << unit_ << " " << sector << " lies in two " << table_ << " chains");
        }
        owner_[sector] = chain;
    }

    const char* table_;
    const char* unit_;
    const std::vector<uint32_t>& next_;
    std::vector<uint32_t> owner_;
    uint32_t chains_ = 0;
};

class CompoundFile {
public:
    explicit CompoundFile(const Window& file) : file_(file) {}

    void check() {
        readHeader();
        readFat();
        ChainWalker sectors("FAT", "sector", fat_, sectorCount_);
        for (uint32_t sector : fatSectors_) {
            sectors.take(sector);
        }
        for (uint32_t sector : difatSectors_) {
            sectors.take(sector);
        }
        const std::vector<uint8_t> directory = readChain(sectors.walk(get32(&header_[48])), UINT64_MAX);
        const std::vector<uint32_t> miniFatSectors = sectors.walk(get32(&header_[60]));
        if (miniFatSectors.size() != get32(&header_[64])) {
            VK_THROW_DAMAGED("its header counts " << get32(&header_[64]) << " mini FAT sectors, its chain "
                                                  << miniFatSectors.size());
        }
        const std::vector<uint8_t> miniFat = readChain(miniFatSectors, UINT64_MAX);
        for (size_t at = 0; at + 4 <= miniFat.size(); at += 4) {
            miniFat_.push_back(get32(&miniFat[at]));
        }
        checkDirectory(directory, sectors);
    }

private:
    void readHeader() {
        if (file_.size() < headerSize) {
            VK_THROW_DAMAGED("its " << file_.size() << " bytes are fewer than a compound file's header takes");
        }
        header_.resize(headerSize);
        file_.read(0, header_.data(), header_.size());
        if (std::memcmp(header_.data(), signature, sizeof(signature)) != 0) {
            VK_THROW_DAMAGED("it does not start as a compound file does");
        }
        const uint16_t version = get16(&header_[26]);
        const uint16_t shift = get16(&header_[30]);
        if (!((version == 3 && shift == 9) || (version == 4 && shift == 12))) {
            VK_THROW_DAMAGED("its header gives version " << version << " with sectors of 2^" << shift << " bytes");
        }
        if (get16(&header_[28]) != 0xFFFE || get16(&header_[32]) != 6 || get32(&header_[56]) != miniStreamCutoff) {
            VK_THROW_DAMAGED("its header's byte order, mini sector size or mini stream cutoff is wrong");
        }
        version_ = version;
        sectorSize_ = uint32_t{1} << shift;
        if (file_.size() < sectorSize_) {
            VK_THROW_DAMAGED("its " << file_.size() << " bytes are fewer than its header sector takes");
        }
        // A last sector cut short still counts: some writers leave it so.
        sectorCount_ = (file_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;
        if (sectorCount_ > lastRegularSector) {
            VK_THROW_DAMAGED("it has more sectors than a compound file may number");
        }
    }

    // The FAT's sectors, from the header's DIFAT and the DIFAT's chain, then
    // the FAT itself.
    void readFat() {
        const uint32_t fatCount = get32(&header_[44]);
        const uint32_t difatCount = get32(&header_[72]);
        const uint32_t perSector = sectorSize_ / 4;
        if (fatCount > sectorCount_ || difatCount > sectorCount_) {
            VK_THROW_DAMAGED("its header counts " << fatCount << " FAT and " << difatCount
                                                  << " DIFAT sectors, the file has " << sectorCount_);
        }
        for (size_t i = 0; i < headerDifatEntries && fatSectors_.size() < fatCount; ++i) {
            fatSectors_.push_back(get32(&header_[76 + 4 * i]));
        }
        uint32_t next = get32(&header_[68]);
        std::vector<uint8_t> sector(sectorSize_);
        std::vector<bool> seen;
        while (fatSectors_.size() < fatCount) {
            if (difatSectors_.size() == difatCount || next >= sectorCount_) {
                VK_THROW_DAMAGED("its DIFAT lists " << fatSectors_.size() << " of its " << fatCount << " FAT sectors");
            }
            seen.resize(static_cast<size_t>(sectorCount_));
            if (seen[next]) {
                VK_THROW_DAMAGED("its DIFAT chain loops at sector " << next);
            }
            seen[next] = true;
            difatSectors_.push_back(next);
            readSector(next, sector.data(), sector.size());
            for (uint32_t i = 0; i + 1 < perSector && fatSectors_.size() < fatCount; ++i) {
                fatSectors_.push_back(get32(&sector[4 * i]));
            }
            next = get32(&sector[4 * (perSector - 1)]);
        }
        for (uint32_t at : fatSectors_) {
            if (at >= sectorCount_) {
                VK_THROW_DAMAGED("its FAT sector " << at << " lies outside the file");
            }
            readSector(at, sector.data(), sector.size());
            for (uint32_t i = 0; i < perSector; ++i) {
                fat_.push_back(get32(&sector[4 * i]));
            }
        }
    }

    void readSector(uint32_t sector, uint8_t* buffer, size_t size) const {
        const uint64_t at = (uint64_t{sector} + 1) * sectorSize_;
        const size_t available = static_cast<size_t>(std::min<uint64_t>(size, file_.size() - at));
        file_.read(at, buffer, available);
        std::memset(buffer + available, 0, size - available);
    }

    std::vector<uint8_t> readChain(const std::vector<uint32_t>& chain, uint64_t limit) const {
        const uint64_t held = uint64_t{chain.size()} * sectorSize_;
        std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(limit, held)));
        for (size_t i = 0; i * sectorSize_ < bytes.size(); ++i) {
            const size_t part = std::min<size_t>(sectorSize_, bytes.size() - i * sectorSize_);
            readSector(chain[i], &bytes[i * sectorSize_], part);
        }
        return bytes;
    }

    // Every entry reached from the root once, by an explicit stack: a deep
    // tree costs no call stack.
    void checkDirectory(const std::vector<uint8_t>& directory, ChainWalker& sectors) {
        const size_t count = directory.size() / directoryEntrySize;
        if (count == 0 || directory[66] != Root) {
            VK_THROW_DAMAGED("its directory has no root entry");
        }
        const uint8_t* root = &directory[0];
        const uint64_t miniStreamSize = streamSize(root);
        miniStream_ = sectors.walk(get32(root + 116));
        if (uint64_t{miniStream_.size()} * sectorSize_ < miniStreamSize) {
            VK_THROW_DAMAGED("its mini stream holds " << miniStreamSize << " bytes, more than its chain's "
                                                      << uint64_t{miniStream_.size()} * sectorSize_);
        }
        ChainWalker miniSectors("mini FAT", "mini sector", miniFat_,
                                (miniStreamSize + miniSectorSize - 1) / miniSectorSize);

        std::vector<bool> reached(count, false);
        std::vector<uint32_t> pending{get32(root + 76)};
        reached[0] = true;
        while (!pending.empty()) {
            const uint32_t id = pending.back();
            pending.pop_back();
            if (id == noStream) {
                continue;
            }
            if (id >= count) {
                VK_THROW_DAMAGED("its directory points at entry " << id << " of " << count);
            }
            if (reached[id]) {
                VK_THROW_DAMAGED("its directory has a cycle at entry " << id);
            }
            reached[id] = true;
            const uint8_t* entry = &directory[id * directoryEntrySize];
            // libmsi refuses a longer one, msi.dll reads on.
            if (get16(entry + 64) > 64) {
                VK_THROW_DAMAGED("its directory entry " << id << " gives its name " << get16(entry + 64)
                                                        << " bytes, more than the 64 it may have");
            }
            pending.push_back(get32(entry + 68));
            pending.push_back(get32(entry + 72));
            switch (entry[66]) {
            case Storage:
                pending.push_back(get32(entry + 76));
                break;
            case Stream:
                checkStream(id, entry, sectors, miniSectors);
                break;
            default:
                VK_THROW_DAMAGED("its directory entry " << id << " is of no known type");
            }
        }
    }

    void checkStream(uint32_t id, const uint8_t* entry, ChainWalker& sectors, ChainWalker& miniSectors) {
        const uint64_t size = streamSize(entry);
        const bool mini = size < miniStreamCutoff;
        const uint64_t unit = mini ? miniSectorSize : sectorSize_;
        const std::vector<uint32_t> chain =
            size == 0 ? std::vector<uint32_t>() : (mini ? miniSectors : sectors).walk(get32(entry + 116));
        const uint64_t held = uint64_t{chain.size()} * unit;
        if (held < size) {
            VK_THROW_DAMAGED("its stream in directory entry " << id << " holds " << size
                                                              << " bytes, more than its chain's " << held);
        }
        if (isSummaryInformation(entry)) {
            checkSummaryInformation(mini ? readMiniChain(chain, size) : readChain(chain, size));
        }
    }

    static bool isSummaryInformation(const uint8_t* entry) {
        static const char16_t name[] = u"\x05SummaryInformation";
        if (get16(entry + 64) != sizeof(name)) {
            return false;
        }
        for (size_t i = 0; i < sizeof(name) / 2; ++i) {
            if (get16(entry + 2 * i) != name[i]) {
                return false;
            }
        }
        return true;
    }

    std::vector<uint8_t> readMiniChain(const std::vector<uint32_t>& chain, uint64_t size) const {
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        for (size_t i = 0; i * miniSectorSize < bytes.size(); ++i) {
            const uint64_t at = uint64_t{chain[i]} * miniSectorSize;
            const size_t part = std::min<size_t>(miniSectorSize, bytes.size() - i * miniSectorSize);
            // A mini sector never spans two sectors: both sizes are powers of two.
            uint8_t sector[4096];
            readSector(miniStream_[static_cast<size_t>(at / sectorSize_)], sector, sectorSize_);
            std::memcpy(&bytes[i * miniSectorSize], sector + at % sectorSize_, part);
        }
        return bytes;
    }

    // The summary information is a property set: its header, the first
    // section's place, size and property table, each property inside the
    // section. The readers take a damaged one for an empty one, and judge
    // the package by what it then lacks.
    static void checkSummaryInformation(const std::vector<uint8_t>& stream) {
        const auto damaged = [] { VK_THROW_DAMAGED("its summary information stream is damaged"); };
        if (stream.size() < 48 || get16(&stream[0]) != 0xFFFE || get32(&stream[24]) == 0) {
            damaged();
        }
        const uint64_t section = get32(&stream[44]);
        if (section > stream.size() || stream.size() - section < 8) {
            damaged();
        }
        const uint64_t sectionSize = get32(&stream[section]);
        const uint64_t count = get32(&stream[section + 4]);
        if (sectionSize < 8 || sectionSize > stream.size() - section || count > (sectionSize - 8) / 8) {
            damaged();
        }
        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t at = get32(&stream[section + 8 + 8 * i + 4]);
            if (at < 8 + 8 * count || at > sectionSize - 4) {
                damaged();
            }
        }
    }

    // Version 3 files keep 32 bits of a stream's size; writers left the
    // others as they found them.
    uint64_t streamSize(const uint8_t* entry) const {
        const uint64_t low = get32(entry + 120);
        return version_ == 3 ? low : low | uint64_t{get32(entry + 124)} << 32;
    }

    const Window& file_;
    std::vector<uint8_t> header_;
    uint16_t version_ = 0;
    uint32_t sectorSize_ = 0;
    uint64_t sectorCount_ = 0;
    std::vector<uint32_t> fatSectors_;
    std::vector<uint32_t> difatSectors_;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> miniFat_;
    std::vector<uint32_t> miniStream_;
};

} // namespace

void checkCompoundFile(const ByteSource& file, uint64_t offset, uint64_t size) {
    const Window window(file, offset, size);
    CompoundFile(window).check();
}
