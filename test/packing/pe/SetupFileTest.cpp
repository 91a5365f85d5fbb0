#include "ByteSource.h"
#include "DamagedFile.h"
#include "ResourceTree.h"
#include "SetupFile.h"
#include "SetupKeys.h"
#include "SetupResourceNames.h"
#include "SyntheticImage.h"

#include <gtest/gtest.h>

namespace {

const ResourceKey marker{SetupKeys::rcdata(), SetupKeys::stubMarker(), SetupResourceNames::language};

// A program whose resources are `resources` and a package resource that
// claims `claimed` bytes, of which its section holds `held`; the data
// entries' addresses are laid out for a section at `rva`.
std::vector<uint8_t> setupImage(const std::vector<ResourceData>& resources, uint32_t claimed, uint32_t held,
                                uint32_t rva = syntheticResourceRva) {
    const ResourceSectionLayout layout =
        alignedResourceSection(resources, SetupKeys::package(), claimed, syntheticResourceOffset, 8, rva);
    std::vector<uint8_t> section = layout.head;
    section.resize(section.size() + held, 0xD0);
    if (held == claimed) {
        section.resize(static_cast<size_t>(layout.tailOffset), 0);
        section.insert(section.end(), layout.tail.begin(), layout.tail.end());
    }
    return syntheticImage(section);
}

// A damaged file's refusal; any other failure is the test's.
std::string refusal(const ByteSource& file) {
    try {
        SetupFile(file, L"x.exe");
    } catch (const VkError<DamagedFileError>& e) {
        return e.originalMessage();
    }
    return "accepted";
}

std::string refusal(const std::vector<uint8_t>& image) { return refusal(MemoryBytes(image)); }

// Bytes whose reads from `failFrom` on fail as a disk's would.
class FailingBytes : public MemoryBytes {
public:
    FailingBytes(const std::vector<uint8_t>& bytes, uint64_t failFrom) : MemoryBytes(bytes), failFrom_(failFrom) {}

    void read(uint64_t offset, void* buffer, size_t size) const override {
        if (offset + size > failFrom_) {
            VK_THROW_MSG("Cannot read x.exe: Input/output error");
        }
        MemoryBytes::read(offset, buffer, size);
    }

private:
    uint64_t failFrom_;
};

TEST(SetupFileTest, APackageInsideItsSectionIsFound) {
    const std::vector<uint8_t> image = setupImage({{marker, {'V'}, 0}}, 4096, 4096);
    const SetupFile setup(MemoryBytes(image), L"x.exe");
    EXPECT_EQ(4096u, setup.packageSize());
    EXPECT_EQ(0xD0, image[static_cast<size_t>(setup.packageOffset())]);
    EXPECT_EQ(0xD0, image[static_cast<size_t>(setup.packageOffset() + 4095)]);
}

// What inspect and extract must not take for a Velkin setup's package.
TEST(SetupFileTest, OnlyAVelkinSetupWithAWholePackageIsTaken) {
    EXPECT_EQ("x.exe is not a Velkin setup executable: it was not made from a Velkin setup stub",
              refusal(setupImage({}, 4096, 4096)));
    // The section holds 64 of the 4096 bytes its entry claims.
    EXPECT_EQ("x.exe is not a Velkin setup executable: its package lies beyond the end of the file (the file is "
              "cut short)",
              refusal(setupImage({{marker, {'V'}, 0}}, 4096, 64)));
    // Its entry points past every section: damaged, but not cut short.
    EXPECT_EQ("x.exe is not a Velkin setup executable: an address lies in no section",
              refusal(setupImage({{marker, {'V'}, 0}}, 4096, 4096, syntheticResourceRva + 0x100000)));
}

// A file that cannot be read is not called damaged: the reason passes as the
// reading gave it.
TEST(SetupFileTest, AFailedReadKeepsItsReason) {
    const std::vector<uint8_t> image = setupImage({{marker, {'V'}, 0}}, 4096, 4096);
    try {
        SetupFile(FailingBytes(image, syntheticResourceOffset), L"x.exe");
        ADD_FAILURE() << "accepted";
    } catch (const VkError<DamagedFileError>& e) {
        ADD_FAILURE() << e.originalMessage();
    } catch (const VkErrorBase& e) {
        EXPECT_EQ(std::string("Cannot read x.exe: Input/output error"), e.originalMessage());
    }
}

} // namespace
