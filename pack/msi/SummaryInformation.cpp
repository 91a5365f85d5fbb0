#include "SummaryInformation.h"

#include "DamagedFile.h"

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

} // namespace

std::string SummaryInformation::text(Property property) const {
    const auto found = texts.find(property);
    return found == texts.end() ? std::string() : found->second;
}

SummaryInformation SummaryInformation::read(const ByteSource& source) {
    const auto damaged = [] { VK_THROW_DAMAGED("its summary information stream is damaged"); };
    if (source.size() < headerSize || source.size() > (1 << 20)) {
        damaged();
    }
    const std::vector<uint8_t> stream = source.bytes(0, static_cast<size_t>(source.size()));
    if (get16(&stream[0]) != 0xFFFE || get32(&stream[24]) == 0) {
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
    SummaryInformation summary;
    for (uint64_t i = 0; i < count; ++i) {
        const uint32_t id = get32(&stream[section + 8 + 8 * i]);
        const uint64_t at = get32(&stream[section + 8 + 8 * i + 4]);
        if (at < 8 + 8 * count || at > sectionSize - 8) {
            damaged();
        }
        const uint8_t* value = &stream[section + at];
        switch (get16(value)) {
        case typeI2:
            summary.integers[id] = static_cast<int16_t>(get16(value + 4));
            break;
        case typeI4:
            summary.integers[id] = static_cast<int32_t>(get32(value + 4));
            break;
        case typeText: {
            const uint64_t length = get32(value + 4);
            if (length > sectionSize - at - 8) {
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
        std::vector<uint8_t>& out = values[id];
        append32(out, typeText);
        append32(out, static_cast<uint32_t>(value.size() + 1));
        out.insert(out.end(), value.begin(), value.end());
        out.resize((out.size() + 1 + 3) / 4 * 4, 0);
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
