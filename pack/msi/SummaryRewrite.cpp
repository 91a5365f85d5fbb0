#include "SummaryRewrite.h"

#include "DamagedFile.h"

#include <algorithm>

using LittleEndian::get32;
using LittleEndian::put32;

namespace {

constexpr size_t headerSize = 48;
constexpr uint32_t typeText = 30;

std::vector<uint8_t> textValue(const std::string& text) {
    // The terminator, then zeros to a multiple of four bytes.
    std::vector<uint8_t> value((8 + text.size() + 1 + 3) / 4 * 4, 0);
    put32(&value[0], typeText);
    put32(&value[4], static_cast<uint32_t>(text.size() + 1));
    std::copy(text.begin(), text.end(), value.begin() + 8);
    return value;
}

struct Entry {
    uint32_t id;
    uint64_t offset;
};

} // namespace

std::vector<uint8_t> replaceSummaryTexts(const ByteSource& source, const std::map<uint32_t, std::string>& texts) {
    const auto damaged = [] { VK_THROW_DAMAGED("its summary information stream is damaged"); };
    if (source.size() < headerSize || source.size() > (1 << 20)) {
        damaged();
    }
    const std::vector<uint8_t> stream = source.bytes(0, static_cast<size_t>(source.size()));
    // One section, right after the header: what an installer database has.
    if (get32(&stream[24]) != 1 || get32(&stream[44]) != headerSize || stream.size() - headerSize < 8) {
        damaged();
    }
    const uint8_t* section = &stream[headerSize];
    const uint64_t sectionSize = get32(section);
    const uint64_t count = get32(section + 4);
    if (sectionSize < 8 || sectionSize > stream.size() - headerSize || count > (sectionSize - 8) / 8) {
        damaged();
    }
    std::vector<Entry> entries;
    for (uint64_t i = 0; i < count; ++i) {
        const Entry entry{get32(section + 8 + 8 * i), get32(section + 12 + 8 * i)};
        if (entry.offset < 8 + 8 * count || entry.offset >= sectionSize) {
            damaged();
        }
        entries.push_back(entry);
    }
    // A value runs to the next value's start, or to the section's end.
    const auto valueEnd = [&](uint64_t offset) {
        uint64_t end = sectionSize;
        for (const Entry& other : entries) {
            if (other.offset > offset) {
                end = std::min(end, other.offset);
            }
        }
        return end;
    };
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> values;
    for (const Entry& entry : entries) {
        const auto replaced = texts.find(entry.id);
        values.emplace_back(entry.id, replaced != texts.end()
                                          ? textValue(replaced->second)
                                          : std::vector<uint8_t>(section + entry.offset, section + valueEnd(entry.offset)));
    }
    for (const auto& [id, text] : texts) {
        if (std::none_of(entries.begin(), entries.end(), [id = id](const Entry& entry) { return entry.id == id; })) {
            values.emplace_back(id, textValue(text));
        }
    }
    std::vector<uint8_t> rewritten(section + 0, section + 8);
    rewritten.resize(8 + 8 * values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        put32(&rewritten[8 + 8 * i], values[i].first);
        put32(&rewritten[12 + 8 * i], static_cast<uint32_t>(rewritten.size()));
        rewritten.insert(rewritten.end(), values[i].second.begin(), values[i].second.end());
    }
    put32(&rewritten[0], static_cast<uint32_t>(rewritten.size()));
    put32(&rewritten[4], static_cast<uint32_t>(values.size()));

    std::vector<uint8_t> result(stream.begin(), stream.begin() + headerSize);
    result.insert(result.end(), rewritten.begin(), rewritten.end());
    // Whatever followed the section (padding) stays.
    result.insert(result.end(), stream.begin() + static_cast<std::ptrdiff_t>(headerSize + sectionSize), stream.end());
    return result;
}
