#include "SummaryInformation.h"

#include "DamagedFile.h"

#include <algorithm>

using LittleEndian::get16;
using LittleEndian::get32;
using LittleEndian::put16;
using LittleEndian::put32;

const char16_t summaryInformationStream[] = u"\x05SummaryInformation";

namespace {

constexpr uint16_t typeI2 = 2;
constexpr uint16_t typeI4 = 3;
constexpr uint16_t typeText = 30;
// {F29F85E0-4FF9-1068-AB91-08002B27B3D9}, the summary information's set.
constexpr uint8_t summaryFormat[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                       0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr size_t headerSize = 48;

void append32(std::vector<uint8_t>& out, uint32_t value) {
    const size_t at = out.size();
    out.resize(at + 4);
    put32(&out[at], value);
}

[[noreturn]] void damaged() { VK_THROW_DAMAGED("its summary information stream is damaged"); }

// A text property's value: its type, its length with the terminator, the
// text, the terminator and zeros to a multiple of four bytes.
std::vector<uint8_t> textValue(const std::string& text) {
    std::vector<uint8_t> value((8 + text.size() + 1 + 3) / 4 * 4, 0);
    put32(&value[0], typeText);
    put32(&value[4], static_cast<uint32_t>(text.size() + 1));
    std::copy(text.begin(), text.end(), value.begin() + 8);
    return value;
}

// The first section of a property set, bounded by the stream: where it lies,
// its size, and each property's id and offset inside it.
struct PropertySection {
    std::vector<uint8_t> stream;
    uint64_t offset = 0;
    uint64_t size = 0;
    std::vector<std::pair<uint32_t, uint64_t>> entries;
};

PropertySection readSection(const ByteSource& source) {
    if (source.size() < headerSize || source.size() > (1 << 20)) {
        damaged();
    }
    PropertySection set;
    set.stream = source.bytes(0, static_cast<size_t>(source.size()));
    const std::vector<uint8_t>& stream = set.stream;
    if (get32(&stream[24]) == 0) {
        damaged();
    }
    set.offset = get32(&stream[44]);
    if (set.offset > stream.size() || stream.size() - set.offset < 8) {
        damaged();
    }
    set.size = get32(&stream[set.offset]);
    const uint64_t count = get32(&stream[set.offset + 4]);
    if (set.size < 8 || set.size > stream.size() - set.offset || count > (set.size - 8) / 8) {
        damaged();
    }
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t entry = set.offset + 8 + 8 * i;
        const uint64_t at = get32(&stream[entry + 4]);
        if (at < 8 + 8 * count || at >= set.size) {
            damaged();
        }
        set.entries.emplace_back(get32(&stream[entry]), at);
    }
    return set;
}

} // namespace

std::string SummaryInformation::text(Property property) const {
    const auto found = texts.find(property);
    return found == texts.end() ? std::string() : found->second;
}

SummaryInformation SummaryInformation::read(const ByteSource& source) {
    const PropertySection set = readSection(source);
    if (get16(&set.stream[0]) != 0xFFFE) {
        damaged();
    }
    SummaryInformation summary;
    for (const auto& [id, at] : set.entries) {
        if (at > set.size - 8) {
            damaged();
        }
        const uint8_t* value = &set.stream[set.offset + at];
        switch (get16(value)) {
        case typeI2:
            summary.integers[id] = static_cast<int16_t>(get16(value + 4));
            break;
        case typeI4:
            summary.integers[id] = static_cast<int32_t>(get32(value + 4));
            break;
        case typeText: {
            const uint64_t length = get32(value + 4);
            if (length > set.size - at - 8) {
                damaged();
            }
            std::string text(reinterpret_cast<const char*>(value + 8), static_cast<size_t>(length));
            // The stored length counts the terminator.
            while (!text.empty() && text.back() == '\0') {
                text.pop_back();
            }
            summary.texts[id] = text;
            break;
        }
        default:
            // Times and other kinds: nothing velkin-pack reads or carries over.
            break;
        }
    }
    return summary;
}

std::vector<uint8_t> SummaryInformation::bytes() const {
    std::map<uint32_t, std::vector<uint8_t>> values;
    for (const auto& [id, value] : integers) {
        std::vector<uint8_t>& out = values[id];
        append32(out, id == CodePage ? typeI2 : typeI4);
        append32(out, id == CodePage ? static_cast<uint16_t>(value) : static_cast<uint32_t>(value));
    }
    for (const auto& [id, value] : texts) {
        values[id] = textValue(value);
    }
    std::vector<uint8_t> section(8 + 8 * values.size());
    size_t entry = 8;
    for (const auto& [id, value] : values) {
        put32(&section[entry], id);
        put32(&section[entry + 4], static_cast<uint32_t>(section.size()));
        entry += 8;
        section.insert(section.end(), value.begin(), value.end());
    }
    put32(&section[0], static_cast<uint32_t>(section.size()));
    put32(&section[4], static_cast<uint32_t>(values.size()));

    std::vector<uint8_t> stream(headerSize + section.size(), 0);
    put16(&stream[0], 0xFFFE);
    // The system that wrote it: Windows, version 6.1, as installer tools write.
    put32(&stream[4], 0x00020601);
    put32(&stream[24], 1);
    std::copy(std::begin(summaryFormat), std::end(summaryFormat), stream.begin() + 28);
    put32(&stream[44], headerSize);
    std::copy(section.begin(), section.end(), stream.begin() + headerSize);
    return stream;
}

std::vector<uint8_t> replaceSummaryTexts(const ByteSource& source, const std::map<uint32_t, std::string>& texts) {
    const PropertySection set = readSection(source);
    // One section, right after the header: what an installer database has.
    if (get32(&set.stream[24]) != 1 || set.offset != headerSize) {
        damaged();
    }
    const uint8_t* section = &set.stream[headerSize];
    // A value runs to the next value's start, or to the section's end.
    const auto valueEnd = [&](uint64_t offset) {
        uint64_t end = set.size;
        for (const auto& other : set.entries) {
            if (other.second > offset) {
                end = std::min(end, other.second);
            }
        }
        return end;
    };
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> values;
    for (const auto& [id, at] : set.entries) {
        const auto replaced = texts.find(id);
        values.emplace_back(id, replaced != texts.end()
                                    ? textValue(replaced->second)
                                    : std::vector<uint8_t>(section + at, section + valueEnd(at)));
    }
    for (const auto& [id, text] : texts) {
        if (std::none_of(set.entries.begin(), set.entries.end(),
                         [id = id](const auto& entry) { return entry.first == id; })) {
            values.emplace_back(id, textValue(text));
        }
    }
    std::vector<uint8_t> rewritten(8 + 8 * values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        put32(&rewritten[8 + 8 * i], values[i].first);
        put32(&rewritten[12 + 8 * i], static_cast<uint32_t>(rewritten.size()));
        rewritten.insert(rewritten.end(), values[i].second.begin(), values[i].second.end());
    }
    put32(&rewritten[0], static_cast<uint32_t>(rewritten.size()));
    put32(&rewritten[4], static_cast<uint32_t>(values.size()));

    std::vector<uint8_t> result(set.stream.begin(), set.stream.begin() + headerSize);
    result.insert(result.end(), rewritten.begin(), rewritten.end());
    // Whatever followed the section (padding) stays.
    result.insert(result.end(), set.stream.begin() + static_cast<std::ptrdiff_t>(headerSize + set.size),
                  set.stream.end());
    return result;
}
