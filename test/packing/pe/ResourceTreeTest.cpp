#include "ErrorHandling.h"
#include "PeHeaders.h"
#include "ResourceTree.h"
#include "SyntheticImage.h"

#include <gtest/gtest.h>

#include <random>

namespace {

ResourceKey key(const ResourceId& type, const ResourceId& name, uint16_t language) {
    return ResourceKey{type, name, language};
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Given in no order: named and numbered types and names, two languages of
// one name, names that differ from their sort key in case.
std::vector<ResourceData> mixed() {
    return {
        {key(ResourceId::of(16), ResourceId::of(1), 0x0409), bytesOf("version"), 1200},
        {key(ResourceId::of(10), ResourceId::of(u"zeta"), 0x0409), bytesOf("z"), 0},
        {key(ResourceId::of(u"MyType"), ResourceId::of(7), 0x0407), bytesOf("german seven"), 0},
        {key(ResourceId::of(10), ResourceId::of(u"Alpha"), 0x0409), bytesOf("alpha, 11 b"), 0},
        {key(ResourceId::of(3), ResourceId::of(2), 0x0409), bytesOf("icon two"), 0},
        {key(ResourceId::of(u"MyType"), ResourceId::of(7), 0x0409), bytesOf("english seven"), 0},
        {key(ResourceId::of(3), ResourceId::of(1), 0x0409), bytesOf("icon one"), 0},
        // Upper case puts "_" after the letters, and "beta" before "MSI":
        // in their own case, both would stand elsewhere.
        {key(ResourceId::of(10), ResourceId::of(u"_under"), 0x0409), bytesOf("u"), 0},
        {key(ResourceId::of(10), ResourceId::of(u"beta"), 0x0409), bytesOf("b"), 0},
    };
}

const ResourceKey streamed = key(ResourceId::of(10), ResourceId::of(u"MSI"), 0x0409);

std::vector<ResourceEntry> readBack(const std::vector<uint8_t>& image) {
    return readResourceTree(MemoryBytes(image), PeHeaders(MemoryBytes(image)));
}

std::string text(const ResourceId& id) {
    return id.isName() ? std::string(id.name.begin(), id.name.end()) : "#" + std::to_string(id.number);
}

// The tree as written: named entries first, by their upper-case text, then
// numbers ascending, at every level; the streamed data at the first aligned
// place after the tree, and every other resource's data after it, 8-byte
// aligned, where its entry says.
TEST(ResourceTreeTest, ReadsBackInWindowsOrderWithTheDataInPlace) {
    const std::vector<ResourceData> resources = mixed();
    const ResourceSectionLayout layout =
        alignedResourceSection(resources, streamed, 1001, syntheticResourceOffset, 4096, syntheticResourceRva);
    EXPECT_EQ(layout.head.size(), layout.streamedOffset);
    EXPECT_EQ(0u, (syntheticResourceOffset + layout.streamedOffset) % 4096);
    EXPECT_LT(layout.streamedOffset - layout.treeEnd, 4096u);
    EXPECT_EQ(layout.streamedOffset + 1008, layout.tailOffset);
    EXPECT_EQ(layout.tailOffset + layout.tail.size(), layout.size);
    std::vector<uint8_t> section = layout.head;
    section.resize(static_cast<size_t>(layout.tailOffset), 0x5A);
    section.insert(section.end(), layout.tail.begin(), layout.tail.end());
    const std::vector<uint8_t> image = syntheticImage(section);

    std::vector<std::string> order;
    for (const ResourceEntry& entry : readBack(image)) {
        order.push_back(text(entry.key.type) + "/" + text(entry.key.name) + "/" + std::to_string(entry.key.language));
        const uint32_t offset = entry.rva - syntheticResourceRva;
        EXPECT_EQ(0u, offset % 8) << order.back();
        if (entry.key.matches(streamed)) {
            EXPECT_EQ(layout.streamedOffset, offset);
            EXPECT_EQ(1001u, entry.size);
            continue;
        }
        const auto given = std::find_if(resources.begin(), resources.end(),
                                        [&](const ResourceData& data) { return data.key.matches(entry.key); });
        ASSERT_NE(resources.end(), given) << order.back();
        EXPECT_GE(offset, layout.tailOffset) << order.back();
        EXPECT_EQ(given->bytes, std::vector<uint8_t>(section.begin() + offset, section.begin() + offset + entry.size));
        EXPECT_EQ(given->codePage, entry.codePage);
    }
    EXPECT_EQ((std::vector<std::string>{"MyType/#7/1031", "MyType/#7/1033", "#3/#1/1033", "#3/#2/1033",
                                        "#10/Alpha/1033", "#10/beta/1033", "#10/MSI/1033", "#10/zeta/1033",
                                        "#10/_under/1033", "#16/#1/1033"}),
              order);
}

TEST(ResourceTreeTest, AResourceGivenTwiceIsRefused) {
    std::vector<ResourceData> twice = mixed();
    twice.push_back({key(ResourceId::of(10), ResourceId::of(u"ALPHA"), 0x0409), bytesOf("again"), 0});
    EXPECT_THROW(alignedResourceSection(twice, streamed, 0, 0, 8, syntheticResourceRva), std::runtime_error);
}

std::vector<uint8_t> validTree() {
    return alignedResourceSection(mixed(), streamed, 16, 0, 8, syntheticResourceRva).head;
}

void expectDamaged(const std::vector<uint8_t>& section, const char* what) {
    try {
        readBack(syntheticImage(section));
        ADD_FAILURE() << what << ": read";
    } catch (const VkErrorBase& e) {
        EXPECT_STREQ("its resources are damaged", e.originalMessage()) << what;
    }
}

// Offsets out of the section, a directory that contains itself, a data entry
// where a directory must be, and a fan-out that would walk for ever.
TEST(ResourceTreeTest, TreesThatPointAstrayAreDamaged) {
    std::vector<uint8_t> outside = validTree();
    LittleEndian::put32(&outside[16 + 4], 0x80000000u | 0x7FFFFF00u);
    expectDamaged(outside, "subdirectory beyond the end");

    std::vector<uint8_t> loop = validTree();
    LittleEndian::put32(&loop[16 + 4], 0x80000000u);
    expectDamaged(loop, "root inside itself");

    std::vector<uint8_t> flat = validTree();
    LittleEndian::put32(&flat[16 + 4], 0);
    expectDamaged(flat, "data where a directory must be");

    // 4000 types, each the same directory of 4000 names, each the same
    // language directory: 16 million paths through 64 KiB.
    std::vector<uint8_t> fan(16 + 8 * 4000 + 16 + 8, 0);
    LittleEndian::put16(&fan[14], 4000);
    for (uint32_t i = 0; i < 4000; ++i) {
        LittleEndian::put32(&fan[16 + 8 * i], i + 1);
        LittleEndian::put32(&fan[16 + 8 * i + 4], 0x80000000u);
    }
    expectDamaged(fan, "endless fan-out");
}

// Whatever a damaged file holds, reading it gives a tree or the reason, and
// nothing else.
TEST(ResourceTreeTest, MutatedTreesGiveATreeOrTheReason) {
    const std::vector<uint8_t> tree = validTree();
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> mutated = tree;
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
            mutated[random() % mutated.size()] = static_cast<uint8_t>(random());
        }
        try {
            readBack(syntheticImage(mutated));
        } catch (const VkErrorBase&) {
        }
    }
}

} // namespace
