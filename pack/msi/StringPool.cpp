#include "StringPool.h"

#include "DamagedFile.h"

#include <algorithm>

using LittleEndian::get16;
using LittleEndian::put16;

namespace {

// The pool's flag for references of three bytes, in the code page's upper word.
constexpr uint16_t longReferences = 0x8000;
// Ids from here on take references of three bytes.
constexpr size_t longReferenceIds = 0x10000;

} // namespace

StringPool::StringPool(const std::vector<uint8_t>& pool, const ByteSource& data) {
    if (pool.size() < 4 || pool.size() % 4 != 0) {
        VK_THROW_DAMAGED("its string pool has " << pool.size() << " bytes, no whole number of entries");
    }
    const uint16_t high = get16(&pool[2]);
    codePage_ = get16(&pool[0]) | static_cast<uint32_t>(high & ~longReferences) << 16;
    referenceSize_ = (high & longReferences) ? 3 : 2;
    strings_.emplace_back();
    const size_t entries = pool.size() / 4;
    uint64_t offset = 0;
    for (size_t i = 1; i < entries; ++i) {
        uint32_t length = get16(&pool[4 * i]);
        const uint16_t uses = get16(&pool[4 * i + 2]);
        if (length == 0 && uses != 0) {
            // A string of 64 KiB or more: its length follows in the next entry.
            if (i + 1 == entries) {
                VK_THROW_DAMAGED("its string pool ends inside the entry of string " << strings_.size());
            }
            ++i;
            length = get16(&pool[4 * i]) | static_cast<uint32_t>(get16(&pool[4 * i + 2])) << 16;
        }
        if (length > data.size() - offset || offset > data.size()) {
            VK_THROW_DAMAGED("its string pool holds more text than its " << data.size() << " bytes of strings");
        }
        std::string text(length, '\0');
        data.read(offset, text.data(), length);
        offset += length;
        strings_.push_back(std::move(text));
    }
}

const std::string& StringPool::at(uint32_t id) const {
    if (id >= strings_.size()) {
        VK_THROW_DAMAGED("a table refers to string " << id << ", its string pool has " << strings_.size() - 1);
    }
    return strings_[id];
}

uint32_t StringPoolBuilder::add(const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    const auto found = ids_.find(text);
    if (found != ids_.end()) {
        ++entries_[found->second - 1].uses;
        return found->second;
    }
    entries_.push_back(Entry{text, 1});
    const uint32_t id = static_cast<uint32_t>(entries_.size());
    ids_.emplace(text, id);
    return id;
}

uint32_t StringPoolBuilder::id(const std::string& text) const {
    const auto found = ids_.find(text);
    return found == ids_.end() ? 0 : found->second;
}

unsigned StringPoolBuilder::referenceSize() const { return entries_.size() + 1 >= longReferenceIds ? 3 : 2; }

std::vector<uint8_t> StringPoolBuilder::pool(uint32_t codePage) const {
    std::vector<uint8_t> bytes(4);
    put16(&bytes[0], static_cast<uint16_t>(codePage));
    put16(&bytes[2], static_cast<uint16_t>((codePage >> 16) | (referenceSize() == 3 ? longReferences : 0)));
    for (const Entry& entry : entries_) {
        const size_t at = bytes.size();
        // A use count beyond 16 bits is kept at its largest: readers take it
        // as a hint, never as a bound.
        const uint16_t uses = static_cast<uint16_t>(std::min<uint32_t>(entry.uses, 0xFFFF));
        if (entry.text.size() < 0x10000) {
            bytes.resize(at + 4);
            put16(&bytes[at], static_cast<uint16_t>(entry.text.size()));
            put16(&bytes[at + 2], uses);
        } else {
            bytes.resize(at + 8);
            put16(&bytes[at], 0);
            put16(&bytes[at + 2], uses);
            put16(&bytes[at + 4], static_cast<uint16_t>(entry.text.size()));
            put16(&bytes[at + 6], static_cast<uint16_t>(entry.text.size() >> 16));
        }
    }
    return bytes;
}

std::vector<uint8_t> StringPoolBuilder::data() const {
    std::vector<uint8_t> bytes;
    for (const Entry& entry : entries_) {
        bytes.insert(bytes.end(), entry.text.begin(), entry.text.end());
    }
    return bytes;
}
