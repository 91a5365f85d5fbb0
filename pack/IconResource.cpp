#include "IconResource.h"

#include "ErrorHandling.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

#pragma pack(push, 2)
struct IconDirectory {
    uint16_t reserved;
    uint16_t type;
    uint16_t count;
};

struct IconDirectoryEntry {
    uint8_t width;
    uint8_t height;
    uint8_t colorCount;
    uint8_t reserved;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t bytesInResource;
    uint32_t imageOffset;
};

// The same entry in a group resource: the offset becomes a resource number.
struct GroupIconEntry {
    uint8_t width;
    uint8_t height;
    uint8_t colorCount;
    uint8_t reserved;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t bytesInResource;
    uint16_t id;
};
#pragma pack(pop)

template <class T>
void append(std::vector<uint8_t>& out, const T& value) {
    const size_t offset = out.size();
    out.resize(offset + sizeof(T));
    std::memcpy(out.data() + offset, &value, sizeof(T));
}

} // namespace

IconSet readIconFile(const tstring& path, uint16_t firstId) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) {
        VK_THROW_MSG("Cannot read icon file " << path);
    }
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    IconDirectory directory{};
    if (file.size() < sizeof(directory)) {
        VK_THROW_MSG(path << " is not an icon file");
    }
    std::memcpy(&directory, file.data(), sizeof(directory));
    const size_t entriesEnd = sizeof(directory) + directory.count * sizeof(IconDirectoryEntry);
    if (directory.reserved != 0 || directory.type != 1 || directory.count == 0 ||
        file.size() < entriesEnd) {
        VK_THROW_MSG(path << " is not an icon file");
    }

    IconSet icons;
    append(icons.group, directory);
    for (uint16_t i = 0; i < directory.count; ++i) {
        IconDirectoryEntry entry;
        std::memcpy(&entry, file.data() + sizeof(directory) + i * sizeof(entry), sizeof(entry));
        if (entry.imageOffset < entriesEnd || entry.bytesInResource == 0 ||
            entry.imageOffset > file.size() || entry.bytesInResource > file.size() - entry.imageOffset) {
            VK_THROW_MSG(path << " is not an icon file: image " << i + 1 << " lies outside it");
        }
        const uint8_t* image = file.data() + entry.imageOffset;
        icons.images.emplace_back(image, image + entry.bytesInResource);
        const GroupIconEntry groupEntry{entry.width,    entry.height,
                                        entry.colorCount, entry.reserved,
                                        entry.planes,   entry.bitCount,
                                        entry.bytesInResource, static_cast<uint16_t>(firstId + i)};
        append(icons.group, groupEntry);
    }
    return icons;
}
