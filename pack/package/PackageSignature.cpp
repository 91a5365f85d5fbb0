#include "PackageSignature.h"

#include "DamagedFile.h"
#include "Sha256.h"
#include "SignedData.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

const std::u16string digitalSignature = u"\x05" u"DigitalSignature";
const std::u16string digitalSignatureEx = u"\x05" u"MsiDigitalSignatureEx";

// A signature with a chain of certificates and a timestamp takes some KiB;
// a stream far beyond this is no signature, and is not read into memory.
constexpr uint64_t signatureLimit = 16 * 1024 * 1024;
constexpr size_t pieceSize = 128 * 1024;

void addName(Sha256& sum, const std::u16string& name) {
    for (const char16_t unit : name) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)};
        sum.add(bytes, 2);
    }
}

// The little-endian bytes of a name, as Windows sorts siblings for the
// digest.
bool hashedBefore(const std::u16string& a, const std::u16string& b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const uint8_t aBytes[2] = {static_cast<uint8_t>(a[i]), static_cast<uint8_t>(a[i] >> 8)};
        const uint8_t bBytes[2] = {static_cast<uint8_t>(b[i]), static_cast<uint8_t>(b[i] >> 8)};
        for (int j = 0; j < 2; ++j) {
            if (aBytes[j] != bBytes[j]) {
                return aBytes[j] < bBytes[j];
            }
        }
    }
    return a.size() < b.size();
}

std::vector<uint8_t> wholeStream(const CompoundStream& stream, const char* what) {
    const uint64_t size = stream.bytes ? stream.bytes->size() : 0;
    if (size > signatureLimit) {
        VK_THROW_DAMAGED("its " << what << " stream has more than " << (signatureLimit >> 20) << " MiB");
    }
    return stream.bytes ? stream.bytes->bytes(0, static_cast<size_t>(size)) : std::vector<uint8_t>();
}

class Digest {
public:
    explicit Digest(const HashedPieces& alsoSee) : alsoSee_(alsoSee), piece_(pieceSize) {}

    void content(const CompoundStorage& storage, HashedStream& at) {
        for (const HashedChild& child : inHashOrder(storage)) {
            if (child.stream) {
                if (at.storages.empty() && isSignatureStream(child.stream->name)) {
                    continue;
                }
                at.stream = child.stream;
                stream(*child.stream, at);
            } else {
                at.storages.push_back(child.storage);
                content(*child.storage, at);
                at.storages.pop_back();
            }
        }
        sum_.add(storage.clsid.data(), storage.clsid.size());
    }

    // A storage's name (not the root's), CLSID and state bits, then its
    // children's: a stream's name, the low 32 bits of its size, its state
    // bits and times. Storages' times are not hashed: tools that open a
    // package change them.
    void metadata(const CompoundStorage& storage, bool root) {
        if (!root) {
            addName(sum_, storage.name);
        }
        sum_.add(storage.clsid.data(), storage.clsid.size());
        sum_.add(storage.state.data(), 4);
        for (const HashedChild& child : inHashOrder(storage)) {
            if (child.storage) {
                metadata(*child.storage, false);
            } else if (!root || !isSignatureStream(child.stream->name)) {
                const CompoundStream& stream = *child.stream;
                addName(sum_, stream.name);
                const uint64_t size = stream.bytes ? stream.bytes->size() : 0;
                const uint8_t low[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                                        static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
                sum_.add(low, sizeof(low));
                sum_.add(stream.state.data(), stream.state.size());
            }
        }
    }

    void add(const std::vector<uint8_t>& bytes) { sum_.add(bytes.data(), bytes.size()); }
    std::array<uint8_t, 32> finish() { return sum_.finish(); }

private:
    void stream(const CompoundStream& stream, const HashedStream& at) {
        const uint64_t size = stream.bytes ? stream.bytes->size() : 0;
        for (uint64_t offset = 0; offset < size;) {
            const size_t part = static_cast<size_t>(std::min<uint64_t>(piece_.size(), size - offset));
            stream.bytes->read(offset, piece_.data(), part);
            sum_.add(piece_.data(), part);
            if (alsoSee_) {
                alsoSee_(at, offset, piece_.data(), part);
            }
            offset += part;
        }
    }

    const HashedPieces& alsoSee_;
    std::vector<uint8_t> piece_;
    Sha256 sum_;
};

// The package's digest; the comparison sees every stream whatever the
// signature holds, so damage is found after the walk.
struct ComputedDigest {
    std::array<uint8_t, 32> digest;
    bool metadataHolds;
};

ComputedDigest computeDigest(const CompoundStorage& package, const HashedPieces& alsoSee) {
    Digest digest(alsoSee);
    bool metadataHolds = true;
    if (const CompoundStream* ex = findStream(package, digitalSignatureEx)) {
        Digest metadata(alsoSee);
        metadata.metadata(package, true);
        const std::array<uint8_t, 32> computed = metadata.finish();
        const std::vector<uint8_t> held = wholeStream(*ex, "extended signature");
        metadataHolds = held == std::vector<uint8_t>(computed.begin(), computed.end());
        digest.add(held);
    }
    HashedStream at{{}, nullptr};
    digest.content(package, at);
    return ComputedDigest{digest.finish(), metadataHolds};
}

} // namespace

std::array<uint8_t, 32> packageDigest(const CompoundStorage& package) { return computeDigest(package, {}).digest; }


std::vector<HashedChild> inHashOrder(const CompoundStorage& storage) {
    std::vector<HashedChild> children;
    for (const CompoundStream& stream : storage.streams) {
        children.push_back(HashedChild{&stream, nullptr});
    }
    for (const CompoundStorage& child : storage.storages) {
        children.push_back(HashedChild{nullptr, &child});
    }
    std::sort(children.begin(), children.end(),
              [](const HashedChild& a, const HashedChild& b) { return hashedBefore(a.name(), b.name()); });
    return children;
}

PackageSignature readPackageSignature(const CompoundStorage& package, const HashedPieces& alsoSee) {
    PackageSignature signature;
    const CompoundStream* stream = findStream(package, digitalSignature);
    signature.present = stream != nullptr;
    if (!signature.present) {
        if (alsoSee) {
            computeDigest(package, alsoSee);
        }
        return signature;
    }
    const ComputedDigest computed = computeDigest(package, alsoSee);
    try {
        if (!computed.metadataHolds) {
            VK_THROW_DAMAGED("its extended signature's digest is not that of its entries' names, sizes and times: "
                             "the package was changed after it was signed");
        }
        const std::vector<uint8_t> bytes = wholeStream(*stream, "signature");
        const std::optional<std::array<uint8_t, 32>> signed_ = signedFileDigest(bytes, 0, bytes.size(), true);
        if (!signed_) {
            VK_THROW_DAMAGED("its signature's digest is not SHA-256, the one velkin-pack checks");
        }
        if (*signed_ != computed.digest) {
            VK_THROW_DAMAGED("its signature's digest is not the package's: the package was changed after it was "
                             "signed");
        }
    } catch (const VkError<DamagedFileError>& e) {
        signature.problem = e.originalMessage();
    }
    return signature;
}
