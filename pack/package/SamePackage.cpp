#include "SamePackage.h"

#include "MsiStreamName.h"
#include "VisibleText.h"

#include <cstring>

namespace {

std::string nameInWords(const std::u16string& name) {
    bool isTable = false;
    return visibleText(MsiStreamName::decode(name, isTable));
}

std::string storagesInWords(const std::vector<const CompoundStorage*>& storages) {
    std::string words;
    for (auto storage = storages.rbegin(); storage != storages.rend(); ++storage) {
        words += " in the storage " + nameInWords((*storage)->name);
    }
    return words;
}

std::string childInWords(const std::vector<const CompoundStorage*>& storages, const HashedChild& child) {
    return child.stream ? streamInWords(storages, child.name())
                        : "the storage " + nameInWords(child.name()) + storagesInWords(storages);
}

bool holds(const CompoundStorage& storage, const HashedChild& child) {
    return child.stream ? findStream(storage, child.name()) != nullptr : findStorage(storage, child.name()) != nullptr;
}

// What differs first; a difference in the string pool, which every added
// or changed string changes, only when nothing else does: the table that
// uses the string tells the user more.
struct Differences {
    std::string first;
    std::string pool;

    bool found() const { return !first.empty(); }
    void note(const std::vector<const CompoundStorage*>& storages, const std::u16string& name, const char* what) {
        std::string& into = storages.empty() && isStringPool(name) ? pool : first;
        if (into.empty()) {
            into = streamInWords(storages, name) + what;
        }
    }
    std::string result() const { return first.empty() ? pool : first; }

    static bool isStringPool(const std::u16string& name) {
        bool isTable = false;
        const std::string decoded = MsiStreamName::decode(name, isTable);
        return isTable && (decoded == "_StringData" || decoded == "_StringPool");
    }
};

uint64_t sizeOf(const CompoundStream& stream) { return stream.bytes ? stream.bytes->size() : 0; }

// The first difference of names, kinds, sizes and CLSIDs, children in the
// order the digest reads them; empty when the trees have the same shape.
std::string shapeDifference(const CompoundStorage& original, const CompoundStorage& copy,
                            std::vector<const CompoundStorage*>& storages, Differences& sizes) {
    if (original.clsid != copy.clsid) {
        return storages.empty() ? "the package's CLSID differs"
                                : "the CLSID of the storage " + nameInWords(storages.back()->name) +
                                      storagesInWords({storages.begin(), storages.end() - 1}) + " differs";
    }
    const auto kept = [&](const std::vector<HashedChild>& all) {
        std::vector<HashedChild> result;
        for (const HashedChild& child : all) {
            if (!storages.empty() || !child.stream || !isSignatureStream(child.stream->name)) {
                result.push_back(child);
            }
        }
        return result;
    };
    const std::vector<HashedChild> before = kept(inHashOrder(original));
    const std::vector<HashedChild> after = kept(inHashOrder(copy));
    for (const HashedChild& child : before) {
        if (!holds(copy, child)) {
            return childInWords(storages, child) + " is missing";
        }
    }
    for (const HashedChild& child : after) {
        if (!holds(original, child)) {
            return childInWords(storages, child) + " was added";
        }
    }
    // The same names of the same kinds, in the same order.
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i].stream) {
            if (sizeOf(*before[i].stream) != sizeOf(*after[i].stream)) {
                sizes.note(storages, before[i].name(), " differs");
                if (sizes.found()) {
                    return sizes.first;
                }
            }
        } else {
            storages.push_back(before[i].storage);
            const std::string inner = shapeDifference(*before[i].storage, *after[i].storage, storages, sizes);
            storages.pop_back();
            if (!inner.empty()) {
                return inner;
            }
        }
    }
    return std::string();
}

} // namespace

std::string streamInWords(const std::vector<const CompoundStorage*>& storages, const std::u16string& name) {
    if (storages.empty() && name == u"\x05SummaryInformation") {
        return "the summary information";
    }
    bool isTable = false;
    const std::string decoded = visibleText(MsiStreamName::decode(name, isTable));
    return (isTable ? "the table " : "the stream ") + decoded + storagesInWords(storages);
}

SignedCopy compareSignedCopy(const CompoundStorage& original, const CompoundStorage& copy) {
    SignedCopy result;
    std::vector<const CompoundStorage*> storages;
    Differences sizes;
    const std::string shape = shapeDifference(original, copy, storages, sizes);
    // The shapes agree, so each of the copy's hashed streams has its
    // original at the same path.
    const bool sameShape = shape.empty();
    Differences contents;
    const CompoundStream* current = nullptr;
    const CompoundStream* counterpart = nullptr;
    std::vector<uint8_t> piece;
    result.signature = readPackageSignature(
        copy, [&](const HashedStream& at, uint64_t offset, const uint8_t* bytes, size_t size) {
            if (!sameShape || contents.found()) {
                return;
            }
            if (at.stream != current) {
                current = at.stream;
                const CompoundStorage* holder = &original;
                for (const CompoundStorage* storage : at.storages) {
                    holder = findStorage(*holder, storage->name);
                }
                counterpart = findStream(*holder, current->name);
            }
            // A string pool of another size is noted already.
            if (sizeOf(*counterpart) != sizeOf(*current)) {
                return;
            }
            piece.resize(size);
            counterpart->bytes->read(offset, piece.data(), size);
            if (std::memcmp(piece.data(), bytes, size) != 0) {
                contents.note(at.storages, current->name, " differs");
            }
        });
    result.difference = !shape.empty()           ? shape
                        : contents.found()       ? contents.first
                        : !sizes.pool.empty()    ? sizes.pool
                                                 : contents.pool;
    return result;
}
