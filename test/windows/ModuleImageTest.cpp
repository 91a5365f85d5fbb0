#include "ModuleImage.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// An image as the loader maps it, with one section whose file holds less
// than its memory: the rest is zeros in memory that no file byte backs.
struct Image {
    static constexpr DWORD sectionAddress = 0x1000;
    static constexpr DWORD rawSize = 0x200;
    static constexpr DWORD memorySize = 0x1000;

    Image() : bytes(sectionAddress + memorySize) {
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(bytes.data());
        dos->e_magic = IMAGE_DOS_SIGNATURE;
        dos->e_lfanew = 0x80;
        auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(bytes.data() + dos->e_lfanew);
        headers->Signature = IMAGE_NT_SIGNATURE;
        headers->FileHeader.NumberOfSections = 1;
        headers->FileHeader.SizeOfOptionalHeader = sizeof(headers->OptionalHeader);
        IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
        std::memcpy(section->Name, ".rsrc", 5);
        section->VirtualAddress = sectionAddress;
        section->Misc.VirtualSize = memorySize;
        section->SizeOfRawData = rawSize;
    }

    HMODULE module() { return reinterpret_cast<HMODULE>(bytes.data()); }
    const uint8_t* at(DWORD address) const { return bytes.data() + address; }

    std::vector<uint8_t> bytes;
};

// Data read from the file must lie in what the file holds of a section: not
// in the headers, and not past its raw data where its memory goes on (a
// resource there would be read from whatever follows in the file).
TEST(ModuleImageTest, DataLiesInASectionOnlyWithinItsRawData) {
    Image image;
    EXPECT_NE(nullptr, ModuleImage::sectionHolding(image.module(), image.at(Image::sectionAddress), Image::rawSize));
    EXPECT_NE(nullptr, ModuleImage::sectionHolding(image.module(), image.at(Image::sectionAddress + 0x100), 0x100));
    EXPECT_EQ(nullptr, ModuleImage::sectionHolding(image.module(), image.at(Image::sectionAddress + 0x100), 0x101));
    EXPECT_EQ(nullptr, ModuleImage::sectionHolding(image.module(), image.at(Image::sectionAddress + Image::rawSize), 1));
    EXPECT_EQ(nullptr, ModuleImage::sectionHolding(image.module(), image.at(0x100), 16));
}

} // namespace
