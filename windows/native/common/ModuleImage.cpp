#include "ModuleImage.h"

#include <algorithm>

namespace ModuleImage {

const uint8_t* base(HINSTANCE__* module) {
    return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(module) & ~uintptr_t{3});
}

bool isImage(HINSTANCE__* module) { return (reinterpret_cast<uintptr_t>(module) & 3) == 0; }

const IMAGE_SECTION_HEADER* sectionHolding(HINSTANCE__* module, const void* data, size_t size) {
    const uint8_t* image = base(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    const uintptr_t start = static_cast<const uint8_t*>(data) - image;
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        const uintptr_t first = section->VirtualAddress;
        const uintptr_t held = std::min(section->Misc.VirtualSize, section->SizeOfRawData);
        if (start >= first && start < first + held) {
            return size <= first + held - start ? section : nullptr;
        }
    }
    return nullptr;
}

} // namespace ModuleImage
