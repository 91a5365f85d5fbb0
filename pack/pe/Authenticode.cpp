#include "Authenticode.h"

#include "DamagedFile.h"
#include "Sha256.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

// Signatures with a chain of certificates and a timestamp take some KiB; a
// table far beyond this is no signature, and is not read into memory.
constexpr uint32_t tableLimit = 16 * 1024 * 1024;
constexpr uint16_t revision2 = 0x0200;
constexpr uint16_t pkcsSignedData = 0x0002;
constexpr size_t entryHeader = 8;
constexpr uint64_t digestChunk = 128 * 1024;

// Object identifiers, as DER writes their content.
const std::vector<uint8_t> signedDataType{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const std::vector<uint8_t> indirectDataType{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
const std::vector<uint8_t> sha256Algorithm{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

enum Tag : uint8_t {
    integer = 0x02,
    octetString = 0x04,
    objectIdentifier = 0x06,
    sequence = 0x30,
    set = 0x31,
    explicit0 = 0xA0,
    implicit1 = 0xA1,
};

uint64_t alignedTo8(uint64_t value) { return (value + 7) / 8 * 8; }

// A DER element: its tag and where its content lies.
struct Element {
    uint8_t tag;
    size_t begin;
    size_t end;
};

// Reads the elements between two offsets of a buffer, one after the other;
// every length is checked against what holds it, and only DER's definite
// lengths are taken.
class DerReader {
public:
    DerReader(const std::vector<uint8_t>& bytes, size_t begin, size_t end) : bytes_(bytes), at_(begin), end_(end) {}
    DerReader(const std::vector<uint8_t>& bytes, const Element& element)
        : DerReader(bytes, element.begin, element.end) {}

    bool atEnd() const { return at_ >= end_; }
    size_t position() const { return at_; }

    Element next(const char* what) {
        if (at_ + 2 > end_) {
            VK_THROW_DAMAGED("its signature ends where its " << what << " belongs");
        }
        const uint8_t tag = bytes_[at_];
        size_t at = at_ + 1;
        size_t length = bytes_[at++];
        if (length & 0x80) {
            const size_t count = length & 0x7F;
            if (count == 0 || count > 4) {
                VK_THROW_DAMAGED("its signature is no DER: its " << what << " has no definite length");
            }
            length = 0;
            for (size_t i = 0; i < count; ++i) {
                if (at >= end_) {
                    VK_THROW_DAMAGED("its signature ends in the length of its " << what);
                }
                length = length << 8 | bytes_[at++];
            }
        }
        if (length > end_ - at) {
            VK_THROW_DAMAGED("its signature's " << what << " runs past what holds it");
        }
        at_ = at + length;
        return Element{tag, at, at + length};
    }

    Element next(uint8_t tag, const char* what) {
        const Element element = next(what);
        if (element.tag != tag) {
            VK_THROW_DAMAGED("its signature has no " << what << " where one belongs");
        }
        return element;
    }

    bool holds(const Element& element, const std::vector<uint8_t>& content) const {
        return element.end - element.begin == content.size() &&
               std::equal(content.begin(), content.end(), bytes_.begin() + static_cast<ptrdiff_t>(element.begin));
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_;
    size_t end_;
};

// The SHA-256 digest that a PKCS#7 SignedData of Authenticode's indirect
// data holds of its file, from `begin` to `end` of `table` (an entry's
// content); none when it holds another algorithm's.
std::optional<std::array<uint8_t, 32>> signedDigest(const std::vector<uint8_t>& table, size_t begin, size_t end) {
    DerReader entry(table, begin, end);
    const Element contentInfo = entry.next(sequence, "ContentInfo");
    // Behind it at most the entry's padding.
    if (end - entry.position() >= 8 ||
        !std::all_of(table.begin() + static_cast<ptrdiff_t>(entry.position()),
                     table.begin() + static_cast<ptrdiff_t>(end), [](uint8_t b) { return b == 0; })) {
        VK_THROW_DAMAGED("its certificate entry holds more than its signature");
    }
    DerReader info(table, contentInfo);
    if (!info.holds(info.next(objectIdentifier, "content type"), signedDataType)) {
        VK_THROW_DAMAGED("its signature is no PKCS#7 SignedData");
    }
    DerReader wrapped(table, info.next(explicit0, "SignedData"));
    DerReader signedData(table, wrapped.next(sequence, "SignedData"));
    signedData.next(integer, "SignedData version");
    signedData.next(set, "digest algorithms");
    DerReader content(table, signedData.next(sequence, "signed content"));
    if (!content.holds(content.next(objectIdentifier, "signed content type"), indirectDataType)) {
        VK_THROW_DAMAGED("its signature signs no Authenticode indirect data");
    }
    DerReader explicitContent(table, content.next(explicit0, "indirect data"));
    DerReader indirect(table, explicitContent.next(sequence, "indirect data"));
    indirect.next(sequence, "indirect data's type");
    DerReader digestInfo(table, indirect.next(sequence, "digest"));
    DerReader algorithm(table, digestInfo.next(sequence, "digest algorithm"));
    const bool sha256 = algorithm.holds(algorithm.next(objectIdentifier, "digest algorithm"), sha256Algorithm);
    const Element digest = digestInfo.next(octetString, "digest");
    // The certificates and revocation lists are optional; the signers are
    // not.
    Element signers = signedData.next("signer infos");
    for (const uint8_t optional : {explicit0, implicit1}) {
        if (signers.tag == optional) {
            signers = signedData.next("signer infos");
        }
    }
    if (signers.tag != set || signers.begin == signers.end) {
        VK_THROW_DAMAGED("its signature names no signer");
    }
    if (!sha256 || digest.end - digest.begin != 32) {
        return std::nullopt;
    }
    std::array<uint8_t, 32> result{};
    std::copy(table.begin() + static_cast<ptrdiff_t>(digest.begin), table.begin() + static_cast<ptrdiff_t>(digest.end),
              result.begin());
    return result;
}

void addRange(Sha256& sum, const ByteSource& file, uint64_t begin, uint64_t end) {
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(digestChunk, end - begin)));
    for (uint64_t at = begin; at < end;) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(chunk.size(), end - at));
        file.read(at, chunk.data(), part);
        sum.add(chunk.data(), part);
        at += part;
    }
}

// Authenticode's digest of the file: every byte but the CheckSum, the
// certificate table's directory entry and the table, which ends the file.
std::array<uint8_t, 32> fileDigest(const ByteSource& file, const PeHeaders& headers, uint64_t tableOffset) {
    const uint64_t checksum = headers.checksumOffset();
    const uint64_t directory = headers.directoryOffset(PeHeaders::Certificates);
    Sha256 sum;
    addRange(sum, file, 0, checksum);
    addRange(sum, file, checksum + 4, directory);
    addRange(sum, file, directory + 8, tableOffset);
    return sum.finish();
}

uint32_t get32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

uint16_t get16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

void check(const ByteSource& file, const PeHeaders& headers) {
    // The directory entry of the certificate table holds a file offset.
    const PeDirectory table = headers.directory(PeHeaders::Certificates);
    const uint64_t offset = table.rva;
    const uint64_t size = file.size();
    if (offset < headers.endOfSections()) {
        VK_THROW_DAMAGED("its certificate table starts before the end of its last section");
    }
    if (offset % 8 != 0) {
        VK_THROW_DAMAGED("its certificate table does not start at a multiple of 8 bytes");
    }
    if (offset + table.size > size) {
        VK_THROW_DAMAGED("its certificate table runs past the end of the file (the file is cut short)");
    }
    if (offset + table.size < size) {
        VK_THROW_DAMAGED("data follows its certificate table");
    }
    if (table.size > tableLimit) {
        VK_THROW_DAMAGED("its certificate table has more than " << (tableLimit >> 20) << " MiB");
    }
    const std::vector<uint8_t> bytes = file.bytes(offset, table.size);
    bool first = true;
    for (uint64_t at = 0; at < bytes.size();) {
        if (bytes.size() - at < entryHeader) {
            VK_THROW_DAMAGED("its certificate table ends in an entry's header");
        }
        const uint32_t length = get32(bytes, static_cast<size_t>(at));
        if (length <= entryHeader || length > bytes.size() - at) {
            VK_THROW_DAMAGED("its certificate table holds an entry of " << length << " bytes in "
                                                                          << bytes.size() - at);
        }
        if (get16(bytes, static_cast<size_t>(at) + 4) != revision2 ||
            get16(bytes, static_cast<size_t>(at) + 6) != pkcsSignedData) {
            VK_THROW_DAMAGED("its certificate table holds an entry that is no WIN_CERTIFICATE of revision 2.0 "
                             "and type PKCS_SIGNED_DATA");
        }
        // Windows checks the first signature; those after it (an older
        // algorithm's) need only be in form.
        const std::optional<std::array<uint8_t, 32>> digest =
            signedDigest(bytes, static_cast<size_t>(at + entryHeader), static_cast<size_t>(at + length));
        if (first && !digest) {
            VK_THROW_DAMAGED("its signature's digest is not SHA-256, the one velkin-pack checks");
        }
        if (first && *digest != fileDigest(file, headers, offset)) {
            VK_THROW_DAMAGED("its signature's digest is not the file's: the file was changed after it was signed");
        }
        first = false;
        const uint64_t next = std::min<uint64_t>(alignedTo8(at + length), bytes.size());
        if (!std::all_of(bytes.begin() + static_cast<ptrdiff_t>(at + length),
                         bytes.begin() + static_cast<ptrdiff_t>(next), [](uint8_t b) { return b == 0; })) {
            VK_THROW_DAMAGED("its certificate entry holds more than its signature");
        }
        at = next;
    }
}

} // namespace

AuthenticodeSignature readAuthenticodeSignature(const ByteSource& file, const PeHeaders& headers) {
    AuthenticodeSignature signature;
    signature.present = headers.directory(PeHeaders::Certificates).size != 0;
    if (signature.present) {
        try {
            check(file, headers);
        } catch (const VkError<DamagedFileError>& e) {
            signature.problem = e.originalMessage();
        }
    }
    return signature;
}
