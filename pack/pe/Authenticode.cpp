#include "Authenticode.h"

#include "DamagedFile.h"
#include "Sha256.h"
#include "SignedData.h"

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

uint64_t alignedTo8(uint64_t value) { return (value + 7) / 8 * 8; }

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
            signedFileDigest(bytes, static_cast<size_t>(at + entryHeader), static_cast<size_t>(at + length), first);
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
