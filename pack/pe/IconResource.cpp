#include "IconResource.h"

#include "ByteSource.h"
#include "ErrorHandling.h"
#include "PackFiles.h"

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
// Far beyond any icon: the file is read whole.
constexpr uint64_t sizeLimit = 16 * 1024 * 1024;

} // namespace

IconSet readIconFile(const tstring& path, uint16_t firstId) {
    std::vector<uint8_t> file;
    {
        const InputFile in(path);
        if (in.size() > sizeLimit) {
            VK_THROW_MSG(path << " is not an icon file");
        }
        file = in.bytes(0, static_cast<size_t>(in.size()));
    }
    if (file.size() < directorySize) {
        VK_THROW_MSG(path << " is not an icon file");
    }
    const uint16_t count = get16(file.data() + 4);
    const size_t entriesEnd = directorySize + count * entrySize;
    if (get16(file.data()) != 0 || get16(file.data() + 2) != 1 || count == 0 || file.size() < entriesEnd) {
        VK_THROW_MSG(path << " is not an icon file");
    }

    IconSet icons;
    icons.group.assign(file.begin(), file.begin() + directorySize);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* entry = file.data() + directorySize + i * entrySize;
        const uint32_t size = get32(entry + 8);
        const uint32_t offset = get32(entry + 12);
        if (offset < entriesEnd || size == 0 || offset > file.size() || size > file.size() - offset) {
            VK_THROW_MSG(path << " is not an icon file: image " << i + 1 << " lies outside it");
        }
        icons.images.emplace_back(file.begin() + offset, file.begin() + offset + size);
        icons.group.insert(icons.group.end(), entry, entry + groupEntrySize - 2);
        icons.group.resize(icons.group.size() + 2);
        put16(&icons.group[icons.group.size() - 2], static_cast<uint16_t>(firstId + i));
    }
    return icons;
}
