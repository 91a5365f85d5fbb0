#include "IconResource.h"

#include "ByteSource.h"
#include "ErrorHandling.h"
#include "PackFiles.h"

#include <algorithm>

using LittleEndian::get16;
using LittleEndian::get32;
using LittleEndian::put16;

namespace {

// The icon file's header (reserved, type 1, count), then 16 bytes an image:
// width, height, colours, reserved, planes, bits, size, offset in the file.
constexpr size_t directorySize = 6;
constexpr size_t entrySize = 16;
// A group resource repeats the entry but for the offset, which becomes the
// image's 16-bit resource number.
constexpr size_t groupEntrySize = 14;

struct ImagePlace {
    uint64_t offset;
    uint64_t size;
    size_t index;
};

// The images' places, each inside the file after the directory, none
// overlapping another: a file that lists one image many times would
// otherwise grow the setup by its size for each entry.
std::vector<ImagePlace> imagePlaces(const tstring& path, const std::vector<uint8_t>& file, size_t count,
                                    size_t entriesEnd) {
    std::vector<ImagePlace> places;
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = file.data() + directorySize + i * entrySize;
        const ImagePlace place{get32(entry + 12), get32(entry + 8), i};
        if (place.offset < entriesEnd || place.size == 0 || place.offset > file.size() ||
            place.size > file.size() - place.offset) {
            VK_THROW_MSG(path << " is not an icon file: image " << i + 1 << " lies outside it");
        }
        total += place.size;
        places.push_back(place);
    }
    if (total > file.size() - entriesEnd) {
        VK_THROW_MSG(path << " is not an icon file: its images add up to " << total << " bytes, more than the "
                          << file.size() - entriesEnd << " after its directory");
    }
    std::sort(places.begin(), places.end(),
              [](const ImagePlace& a, const ImagePlace& b) { return a.offset < b.offset; });
    for (size_t i = 1; i < places.size(); ++i) {
        if (places[i - 1].offset + places[i - 1].size > places[i].offset) {
            VK_THROW_MSG(path << " is not an icon file: images "
                              << std::min(places[i - 1].index, places[i].index) + 1 << " and "
                              << std::max(places[i - 1].index, places[i].index) + 1 << " overlap");
        }
    }
    return places;
}

} // namespace

IconSet readIconFile(const tstring& path, uint16_t firstId) {
    std::vector<uint8_t> file;
    {
        const InputFile in(path);
        if (in.size() > iconFileLimit) {
            VK_THROW_MSG("The icon " << path << " has " << in.size() << " bytes; an icon file may have at most "
                                     << iconFileLimit << " bytes (16 MiB)");
        }
        file = in.bytes(0, static_cast<size_t>(in.size()));
    }
    if (file.size() < directorySize) {
        VK_THROW_MSG(path << " is not an icon file");
    }
    const uint16_t count = get16(file.data() + 4);
    const size_t entriesEnd = directorySize + size_t{count} * entrySize;
    if (get16(file.data()) != 0 || get16(file.data() + 2) != 1 || count == 0 || file.size() < entriesEnd) {
        VK_THROW_MSG(path << " is not an icon file");
    }
    if (count > iconImageLimit || count - 1 > 0xFFFF - firstId) {
        VK_THROW_MSG("The icon " << path << " has " << count << " images; a setup's resources may hold at most "
                                 << iconImageLimit);
    }

    IconSet icons;
    icons.images.resize(count);
    for (const ImagePlace& place : imagePlaces(path, file, count, entriesEnd)) {
        const auto from = file.begin() + static_cast<ptrdiff_t>(place.offset);
        icons.images[place.index].assign(from, from + static_cast<ptrdiff_t>(place.size));
    }
    icons.group.assign(file.begin(), file.begin() + directorySize);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* entry = file.data() + directorySize + i * entrySize;
        icons.group.insert(icons.group.end(), entry, entry + groupEntrySize - 2);
        icons.group.resize(icons.group.size() + 2);
        put16(&icons.group[icons.group.size() - 2], static_cast<uint16_t>(firstId + i));
    }
    return icons;
}
