#include "ZipWriter.h"

#include "ByteSource.h"
#include "ErrorHandling.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace {

constexpr uint32_t localHeaderSignature = 0x04034b50;
constexpr uint32_t descriptorSignature = 0x08074b50;
constexpr uint32_t centralHeaderSignature = 0x02014b50;
constexpr uint32_t endSignature = 0x06054b50;
constexpr size_t localHeaderSize = 30;
constexpr size_t centralHeaderSize = 46;
// Zip's flags: sizes in a descriptor after the data; the name is UTF-8.
constexpr uint16_t flagDescriptor = 1 << 3;
constexpr uint16_t flagUtf8 = 1 << 11;
// 1980-01-01 00:00 in MS-DOS form, the earliest zip can say.
constexpr uint16_t fixedDate = (0 << 9) | (1 << 5) | 1;
constexpr uint16_t fixedTime = 0;
// Version 2.0, MS-DOS attributes.
constexpr uint16_t versionMadeBy = 20;
// The largest value a field of 32 bits holds without meaning "see ZIP64".
constexpr uint64_t largest32 = 0xFFFFFFFE;
constexpr size_t outputBuffer = 256 * 1024;

uint16_t versionNeeded(ZipWriter::Method method) { return method == ZipWriter::Method::Deflated ? 20 : 10; }

bool isAscii(const std::string& name) {
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

uint32_t field32(uint64_t value, const std::string& what) {
    if (value > largest32) {
        VK_THROW_MSG("The zip archive's " << what << " reaches 4 GiB, which needs ZIP64, which is not written");
    }
    return static_cast<uint32_t>(value);
}

class Fields {
public:
    explicit Fields(size_t size) : bytes_(size) {}
    Fields& u16(uint16_t value) {
        LittleEndian::put16(&bytes_[at_], value);
        at_ += 2;
        return *this;
    }
    Fields& u32(uint32_t value) {
        LittleEndian::put32(&bytes_[at_], value);
        at_ += 4;
        return *this;
    }
    Fields& text(const std::string& text) {
        std::copy(text.begin(), text.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at_));
        at_ += text.size();
        return *this;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
};

// What an entry's local and central headers both say of it, from the
// version needed to extract it to its name's length.
template <class Entry>
Fields& describe(Fields& header, const Entry& entry) {
    const uint16_t flags =
        static_cast<uint16_t>((entry.descriptor ? flagDescriptor : 0) | (isAscii(entry.name) ? 0 : flagUtf8));
    return header.u16(versionNeeded(entry.method))
        .u16(flags)
        .u16(static_cast<uint16_t>(entry.method))
        .u16(fixedTime)
        .u16(fixedDate)
        .u32(entry.crc)
        .u32(static_cast<uint32_t>(entry.compressedSize))
        .u32(static_cast<uint32_t>(entry.size))
        .u16(static_cast<uint16_t>(entry.name.size()));
}

} // namespace

void Crc32::add(const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const uInt piece = static_cast<uInt>(std::min<size_t>(size, std::numeric_limits<uInt>::max()));
        value_ = static_cast<uint32_t>(::crc32(value_, bytes, piece));
        bytes += piece;
        size -= piece;
    }
}

uint32_t Crc32::combine(uint32_t a, uint32_t b, uint64_t sizeOfB) {
    // zlib's length is a long, 32 bits on Windows. Combining with a CRC of 0
    // moves a CRC past that many zero bytes' worth, and such moves add up.
    constexpr uint64_t step = 1u << 30;
    uLong crc = a;
    for (; sizeOfB > step; sizeOfB -= step) {
        crc = ::crc32_combine(crc, 0, static_cast<z_off_t>(step));
    }
    return static_cast<uint32_t>(::crc32_combine(crc, b, static_cast<z_off_t>(sizeOfB)));
}

// zlib's raw deflate stream, kept from entry to entry.
struct ZipWriter::Deflater {
    explicit Deflater(int level) {
        if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            VK_THROW_MSG("Cannot start zlib's deflate: " << (stream.msg ? stream.msg : "out of memory"));
        }
    }
    ~Deflater() { deflateEnd(&stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    z_stream stream{};
};

ZipWriter::ZipWriter(ZipTarget& target, int level) : target_(target), level_(level) {}

ZipWriter::~ZipWriter() = default;

void ZipWriter::writeLocalHeader(Entry& entry) {
    if (open_ || finished_) {
        VK_THROW_MSG("A zip entry begins while another is open or after the archive ended");
    }
    if (entries_.size() >= 0xFFFF) {
        VK_THROW_MSG("The zip archive would hold more than 65,535 entries, which needs ZIP64");
    }
    if (entry.name.empty() || entry.name.size() > 0xFFFF) {
        VK_THROW_MSG("A zip entry's name must have 1 to 65,535 bytes: " << entry.name);
    }
    entry.headerOffset = target_.position();
    field32(entry.headerOffset, "offset of an entry");
    entry.descriptor = !target_.canOverwrite() && entry.method == Method::Deflated;
    Fields header(localHeaderSize + entry.name.size());
    describe(header.u32(localHeaderSignature), entry).u16(0).text(entry.name);
    target_.append(header.bytes().data(), header.bytes().size());
    entries_.push_back(entry);
    open_ = true;
}

void ZipWriter::begin(const std::string& name, Method method) {
    if (!target_.canOverwrite() && method == Method::Stored) {
        // A reader of a stored entry has nothing but the header to find its end.
        VK_THROW_MSG("A stored zip entry needs a target whose header can be completed: " << name);
    }
    Entry entry;
    entry.name = name;
    entry.method = method;
    writeLocalHeader(entry);
    crc_ = Crc32();
    if (method == Method::Deflated) {
        if (!deflater_) {
            deflater_ = std::make_unique<Deflater>(level_);
            buffer_.resize(outputBuffer);
        } else if (deflateReset(&deflater_->stream) != Z_OK) {
            VK_THROW_MSG("Cannot restart zlib's deflate");
        }
    }
}

void ZipWriter::emit(const uint8_t* bytes, size_t size) {
    Entry& entry = entries_.back();
    entry.compressedSize += size;
    field32(entry.compressedSize, "entry " + entry.name);
    target_.append(bytes, size);
}

void ZipWriter::flushDeflater(bool last) {
    z_stream& stream = deflater_->stream;
    int result = Z_OK;
    do {
        stream.next_out = buffer_.data();
        stream.avail_out = static_cast<uInt>(buffer_.size());
        result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
        if (result == Z_STREAM_ERROR) {
            VK_THROW_MSG("zlib's deflate failed");
        }
        emit(buffer_.data(), buffer_.size() - stream.avail_out);
    } while (last ? result != Z_STREAM_END : stream.avail_out == 0);
}

void ZipWriter::write(const uint8_t* bytes, size_t size) {
    if (!open_) {
        VK_THROW_MSG("Bytes for a zip entry that has not begun");
    }
    Entry& entry = entries_.back();
    crc_.add(bytes, size);
    entry.size += size;
    field32(entry.size, "entry " + entry.name);
    if (entry.method == Method::Stored) {
        emit(bytes, size);
        return;
    }
    z_stream& stream = deflater_->stream;
    while (size > 0) {
        const uInt piece = static_cast<uInt>(std::min<size_t>(size, std::numeric_limits<uInt>::max()));
        stream.next_in = const_cast<Bytef*>(bytes);
        stream.avail_in = piece;
        flushDeflater(false);
        bytes += piece;
        size -= piece;
    }
}

void ZipWriter::end() {
    if (!open_) {
        VK_THROW_MSG("A zip entry ends that has not begun");
    }
    if (entries_.back().method == Method::Deflated) {
        deflater_->stream.next_in = nullptr;
        deflater_->stream.avail_in = 0;
        flushDeflater(true);
    }
    entries_.back().crc = crc_.value();
    closeEntry();
}

void ZipWriter::closeEntry() {
    Entry& entry = entries_.back();
    open_ = false;
    if (entry.descriptor) {
        Fields descriptor(16);
        descriptor.u32(descriptorSignature)
            .u32(entry.crc)
            .u32(static_cast<uint32_t>(entry.compressedSize))
            .u32(static_cast<uint32_t>(entry.size));
        target_.append(descriptor.bytes().data(), descriptor.bytes().size());
        return;
    }
    Fields sizes(12);
    sizes.u32(entry.crc).u32(static_cast<uint32_t>(entry.compressedSize)).u32(static_cast<uint32_t>(entry.size));
    target_.overwrite(entry.headerOffset + 14, sizes.bytes().data(), sizes.bytes().size());
}

void ZipWriter::add(const std::string& name, Method method, const std::string& bytes) {
    begin(name, method);
    write(bytes);
    end();
}

uint64_t ZipWriter::beginPlaced(const std::string& name) {
    if (!target_.canOverwrite()) {
        VK_THROW_MSG("A zip entry placed by its writer needs a target that can be overwritten: " << name);
    }
    Entry entry;
    entry.name = name;
    entry.method = Method::Stored;
    writeLocalHeader(entry);
    return target_.position();
}

void ZipWriter::endPlaced(uint32_t crc, uint64_t size) {
    Entry& entry = entries_.back();
    if (!open_ || target_.position() != entry.headerOffset + localHeaderSize + entry.name.size() + size) {
        VK_THROW_MSG("A placed zip entry ends with other than its size written");
    }
    entry.size = entry.compressedSize = field32(size, "entry " + entry.name);
    field32(target_.position(), "offset of an entry");
    entry.crc = crc;
    closeEntry();
}

void ZipWriter::finish() {
    if (open_ || finished_) {
        VK_THROW_MSG("A zip archive ends with an entry open, or twice");
    }
    const uint64_t start = target_.position();
    for (const Entry& entry : entries_) {
        Fields header(centralHeaderSize + entry.name.size());
        describe(header.u32(centralHeaderSignature).u16(versionMadeBy), entry)
            .u16(0)
            .u16(0)
            .u16(0)
            .u16(0)
            .u32(0)
            .u32(static_cast<uint32_t>(entry.headerOffset))
            .text(entry.name);
        target_.append(header.bytes().data(), header.bytes().size());
    }
    const uint64_t end = target_.position();
    Fields record(22);
    record.u32(endSignature)
        .u16(0)
        .u16(0)
        .u16(static_cast<uint16_t>(entries_.size()))
        .u16(static_cast<uint16_t>(entries_.size()))
        .u32(field32(end - start, "central directory"))
        .u32(field32(start, "central directory's offset"))
        .u16(0);
    target_.append(record.bytes().data(), record.bytes().size());
    finished_ = true;
}
