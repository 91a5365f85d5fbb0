#include "ResourceTree.h"

#include "DamagedFile.h"
#include "ErrorHandling.h"
#include "tstrings.h"

#include <algorithm>
#include <map>
#include <tuple>

using LittleEndian::get16;
using LittleEndian::get32;
using LittleEndian::put16;
using LittleEndian::put32;

namespace {

constexpr uint32_t highBit = 0x80000000u;
constexpr size_t directoryHeader = 16;
constexpr size_t directoryEntry = 8;
constexpr size_t dataEntry = 16;

class TreeReader {
public:
    TreeReader(const ByteSource& file, uint64_t rootOffset, uint32_t limit)
        : file_(file), root_(rootOffset), limit_(limit) {}

    void directory(uint32_t offset, int level, ResourceKey key, std::vector<ResourceEntry>& out) {
        uint8_t header[directoryHeader];
        read(offset, header, sizeof(header));
        const uint32_t count = uint32_t{get16(header + 12)} + get16(header + 14);
        std::vector<uint8_t> entries(count * directoryEntry);
        read(offset + directoryHeader, entries.data(), entries.size());
        for (uint32_t i = 0; i < count; ++i) {
            // Directories may share subdirectories; a tree that does so
            // over and over would make the walk endless in all but name.
            if (++visited_ > resourceTreeEntryLimit) {
                damaged();
            }
            const uint32_t id = get32(&entries[i * directoryEntry]);
            const uint32_t target = get32(&entries[i * directoryEntry + 4]);
            const bool isDirectory = (target & highBit) != 0;
            if (isDirectory != (level < 2)) {
                damaged();
            }
            switch (level) {
            case 0:
                key.type = identifier(id);
                break;
            case 1:
                key.name = identifier(id);
                break;
            default:
                if ((id & highBit) != 0 || id > 0xFFFF) {
                    damaged();
                }
                key.language = static_cast<uint16_t>(id);
            }
            if (isDirectory) {
                directory(target & ~highBit, level + 1, key, out);
            } else {
                uint8_t data[dataEntry];
                read(target, data, sizeof(data));
                out.push_back(ResourceEntry{key, get32(data), get32(data + 4), get32(data + 8)});
            }
        }
    }

private:
    [[noreturn]] static void damaged() { VK_THROW_DAMAGED("its resources are damaged"); }

    void read(uint64_t offset, void* buffer, size_t size) const {
        if (offset > limit_ || size > limit_ - offset) {
            damaged();
        }
        file_.read(root_ + offset, buffer, size);
    }

    ResourceId identifier(uint32_t field) const {
        if ((field & highBit) == 0) {
            if (field > 0xFFFF) {
                damaged();
            }
            return ResourceId::of(static_cast<uint16_t>(field));
        }
        const uint32_t offset = field & ~highBit;
        uint8_t length[2];
        read(offset, length, sizeof(length));
        std::vector<uint8_t> text(size_t{get16(length)} * 2);
        read(uint64_t{offset} + 2, text.data(), text.size());
        std::u16string name;
        for (size_t i = 0; i < text.size(); i += 2) {
            name.push_back(static_cast<char16_t>(get16(&text[i])));
        }
        if (name.empty()) {
            damaged();
        }
        return ResourceId::of(name);
    }

    const ByteSource& file_;
    uint64_t root_;
    uint32_t limit_;
    size_t visited_ = 0;
};

// Named entries first, by their upper-case text; then numbers, ascending.
bool precedes(const ResourceId& a, const ResourceId& b) {
    if (a.isName() != b.isName()) {
        return a.isName();
    }
    if (a.isName()) {
        return tstrings::toUpper(a.name) < tstrings::toUpper(b.name);
    }
    return a.number < b.number;
}

// An identifier as Windows compares them: a number, or a name in upper case.
using IdentifierKey = std::tuple<bool, uint16_t, std::u16string>;

IdentifierKey identifierKey(const ResourceId& id) {
    return IdentifierKey{id.isName(), id.number, id.isName() ? tstrings::toUpper(id.name) : std::u16string()};
}

struct Node {
    ResourceId id;
    // Directories: the children; a language: the index of its key.
    std::vector<Node> children;
    size_t resource = 0;
    uint32_t offset = 0;
    // Where each child stands in `children` while the tree is built: an icon
    // of many images would take time in the square of their count if each
    // were looked for among the others.
    std::map<IdentifierKey, size_t> index;
};

Node& child(Node& parent, const ResourceId& id) {
    const auto [place, added] = parent.index.emplace(identifierKey(id), parent.children.size());
    if (added) {
        parent.children.push_back(Node{id, {}, 0, 0, {}});
    }
    return parent.children[place->second];
}

void sortTree(Node& node) {
    node.index.clear();
    std::sort(node.children.begin(), node.children.end(),
              [](const Node& a, const Node& b) { return precedes(a.id, b.id); });
    for (Node& nested : node.children) {
        sortTree(nested);
    }
}

uint64_t align8(uint64_t value) { return (value + 7) & ~uint64_t{7}; }

uint32_t checked32(uint64_t value) {
    if (value > 0xFFFFFFFFu) {
        VK_THROW_MSG("a resource address does not fit in 32 bits");
    }
    return static_cast<uint32_t>(value);
}

// A resource tree placed from the section's start, from its keys alone:
// directories breadth first, the root at the start; then the data entries;
// then the names.
class TreePlan {
public:
    explicit TreePlan(const std::vector<ResourceKey>& keys) {
        buildTree(keys);
        placeDirectories();
        placeNames();
    }

    TreePlan(const TreePlan&) = delete;
    TreePlan& operator=(const TreePlan&) = delete;

    uint64_t end() const { return end_; }
    // The languages in the order of their data entries; each names the key
    // at its `resource` - 1.
    const std::vector<Node*>& languages() const { return languages_; }

    void writeTree(std::vector<uint8_t>& head) const {
        writeDirectory(root_, 0, head);
        for (const std::vector<Node*>* level : {&types_, &names_}) {
            for (const Node* node : *level) {
                writeDirectory(*node, node->offset, head);
            }
        }
        for (const auto& [name, at] : nameOffsets_) {
            put16(&head[at], static_cast<uint16_t>(name.size()));
            for (size_t i = 0; i < name.size(); ++i) {
                put16(&head[at + 2 + 2 * i], name[i]);
            }
        }
    }

private:
    void buildTree(const std::vector<ResourceKey>& keys) {
        for (size_t i = 0; i < keys.size(); ++i) {
            const ResourceKey& key = keys[i];
            Node& language = child(child(child(root_, key.type), key.name), ResourceId::of(key.language));
            if (language.resource != 0) {
                VK_THROW_MSG("a resource is given twice");
            }
            language.resource = i + 1;
        }
        sortTree(root_);
    }

    void placeDirectories() {
        end_ = directoryHeader + directoryEntry * root_.children.size();
        const auto place = [this](Node& node, std::vector<Node*>& level, uint64_t size) {
            level.push_back(&node);
            node.offset = checked32(end_);
            end_ += size;
        };
        for (Node& type : root_.children) {
            place(type, types_, directoryHeader + directoryEntry * type.children.size());
        }
        for (Node* type : types_) {
            for (Node& name : type->children) {
                place(name, names_, directoryHeader + directoryEntry * name.children.size());
            }
        }
        for (Node* name : names_) {
            for (Node& language : name->children) {
                place(language, languages_, dataEntry);
            }
        }
        // A tree that our own reader would refuse is never written.
        const size_t entries = types_.size() + names_.size() + languages_.size();
        if (entries > resourceTreeEntryLimit) {
            VK_THROW_MSG("its resources would take " << entries << " entries of the resource tree, more than the "
                                                     << resourceTreeEntryLimit << " it may hold");
        }
    }

    void placeNames() {
        for (const std::vector<Node*>* level : {&types_, &names_}) {
            for (const Node* node : *level) {
                if (node->id.isName() && nameOffsets_.count(node->id.name) == 0) {
                    nameOffsets_[node->id.name] = checked32(end_);
                    end_ += 2 + 2 * node->id.name.size();
                }
            }
        }
    }

    void writeDirectory(const Node& node, uint32_t at, std::vector<uint8_t>& head) const {
        uint16_t named = 0;
        for (const Node& entry : node.children) {
            named = static_cast<uint16_t>(named + (entry.id.isName() ? 1 : 0));
        }
        put16(&head[at + 12], named);
        put16(&head[at + 14], static_cast<uint16_t>(node.children.size() - named));
        uint32_t entryAt = at + directoryHeader;
        for (const Node& entry : node.children) {
            put32(&head[entryAt], entry.id.isName() ? (nameOffsets_.at(entry.id.name) | highBit) : entry.id.number);
            put32(&head[entryAt + 4], entry.offset | (entry.children.empty() ? 0 : highBit));
            entryAt += directoryEntry;
        }
    }

    Node root_;
    std::vector<Node*> types_;
    std::vector<Node*> names_;
    std::vector<Node*> languages_;
    std::map<std::u16string, uint32_t> nameOffsets_;
    uint64_t end_ = 0;
};

// Each resource's data offset in the section, the streamed one's last, in
// the order of the data entries from `layout.tailOffset` on; sets the
// section's size.
std::vector<uint64_t> placeData(const TreePlan& plan, const std::vector<ResourceData>& resources,
                                ResourceSectionLayout& layout) {
    std::vector<uint64_t> offsets(resources.size() + 1);
    offsets[resources.size()] = layout.streamedOffset;
    uint64_t offset = layout.tailOffset;
    for (const Node* language : plan.languages()) {
        if (language->resource <= resources.size()) {
            offset = align8(offset);
            offsets[language->resource - 1] = offset;
            offset += resources[language->resource - 1].bytes.size();
        }
    }
    layout.size = offset;
    return offsets;
}

// The data entries into the head, and the data held in memory into the tail.
void writeData(const TreePlan& plan, const std::vector<ResourceData>& resources, uint64_t streamedSize,
               const std::vector<uint64_t>& offsets, uint32_t sectionRva, ResourceSectionLayout& layout) {
    for (const Node* language : plan.languages()) {
        const size_t index = language->resource - 1;
        const bool isStreamed = index == resources.size();
        uint8_t* entry = &layout.head[language->offset];
        put32(entry, checked32(sectionRva + offsets[index]));
        put32(entry + 4, checked32(isStreamed ? streamedSize : resources[index].bytes.size()));
        put32(entry + 8, isStreamed ? 0 : resources[index].codePage);
        if (!isStreamed && !resources[index].bytes.empty()) {
            std::copy(resources[index].bytes.begin(), resources[index].bytes.end(),
                      layout.tail.begin() + static_cast<ptrdiff_t>(offsets[index] - layout.tailOffset));
        }
    }
}

} // namespace

bool ResourceId::matches(const ResourceId& other) const {
    if (isName() != other.isName()) {
        return false;
    }
    return isName() ? tstrings::toUpper(name) == tstrings::toUpper(other.name) : number == other.number;
}

std::vector<ResourceEntry> readResourceTree(const ByteSource& file, const PeHeaders& headers) {
    const PeDirectory directory = headers.directory(PeHeaders::Resources);
    std::vector<ResourceEntry> entries;
    if (directory.rva == 0) {
        return entries;
    }
    const size_t index = headers.sectionAt(directory.rva);
    if (index == headers.sections().size()) {
        VK_THROW_DAMAGED("its resources are damaged");
    }
    const PeSection& section = headers.sections()[index];
    const uint32_t inside = directory.rva - section.virtualAddress;
    if (inside >= section.rawSize()) {
        VK_THROW_DAMAGED("its resources are damaged");
    }
    TreeReader(file, uint64_t{section.pointerToRawData} + inside, section.rawSize() - inside)
        .directory(0, 0, ResourceKey{}, entries);
    return entries;
}

uint64_t streamedOffsetAfter(uint64_t treeEnd, uint64_t alignmentBase, uint64_t alignment) {
    const uint64_t start = align8(treeEnd) + alignmentBase;
    return (start + alignment - 1) / alignment * alignment - alignmentBase;
}

std::vector<ResourceKey> resourceKeys(const std::vector<ResourceData>& resources, const ResourceKey& streamed) {
    std::vector<ResourceKey> keys;
    for (const ResourceData& resource : resources) {
        keys.push_back(resource.key);
    }
    keys.push_back(streamed);
    return keys;
}

uint64_t resourceTreeSize(const std::vector<ResourceKey>& keys) { return TreePlan(keys).end(); }

ResourceSectionLayout layoutResourceSection(const std::vector<ResourceData>& resources,
                                            const ResourceKey& streamed, uint64_t streamedSize,
                                            uint64_t streamedOffset, uint32_t sectionRva) {
    const TreePlan plan(resourceKeys(resources, streamed));
    if (streamedOffset < plan.end()) {
        VK_THROW_MSG("the streamed resource's place overlaps the resource tree");
    }
    ResourceSectionLayout layout;
    layout.treeEnd = plan.end();
    layout.streamedOffset = streamedOffset;
    layout.tailOffset = align8(streamedOffset + streamedSize);
    const std::vector<uint64_t> offsets = placeData(plan, resources, layout);
    checked32(uint64_t{sectionRva} + layout.size);

    layout.head.assign(static_cast<size_t>(layout.streamedOffset), 0);
    layout.tail.assign(static_cast<size_t>(layout.size - layout.tailOffset), 0);
    plan.writeTree(layout.head);
    writeData(plan, resources, streamedSize, offsets, sectionRva, layout);
    return layout;
}
