#include "ByteSource.h"
#include "ErrorHandling.h"
#include "ResourceTree.h"
#include "SetupFile.h"
#include "SetupKeys.h"
#include "SetupResourceNames.h"
#include "SyntheticImage.h"

#include <gtest/gtest.h>

namespace {

const ResourceKey marker{SetupKeys::rcdata(), SetupKeys::stubMarker(), SetupResourceNames::language};

// A program whose resources are `resources` and a package resource that
// claims `claimed` bytes, of which its section holds `held`.
std::vector<uint8_t> setupImage(const std::vector<ResourceData>& resources, uint32_t claimed, uint32_t held) {
    const ResourceSectionLayout layout =
        layoutResourceSection(resources, SetupKeys::package(), claimed, syntheticResourceOffset, 8,
                              syntheticResourceRva);
    std::vector<uint8_t> section = layout.head;
    section.resize(section.size() + held, 0xD0);
    if (held == claimed) {
        section.resize(static_cast<size_t>(layout.tailOffset), 0);
        section.insert(section.end(), layout.tail.begin(), layout.tail.end());
    }
    return syntheticImage(section);
}

std::string refusal(const std::vector<uint8_t>& image) {
    try {
        SetupFile(MemoryBytes(image), L"x.exe");
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    return "accepted";
}

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
}

} // namespace
