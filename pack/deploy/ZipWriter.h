#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Where a zip archive goes: bytes appended in order, and, when the target
// keeps what it was given (a file), bytes already appended overwritten.
class ZipTarget {
public:
    virtual ~ZipTarget() = default;

    virtual void append(const uint8_t* bytes, size_t size) = 0;
    // Bytes appended so far.
    virtual uint64_t position() const = 0;
    // False for a stream that passes its bytes on at once (an encryption).
    virtual bool canOverwrite() const = 0;
    virtual void overwrite(uint64_t offset, const uint8_t* bytes, size_t size) = 0;
};

// CRC-32 as zip records it, fed in pieces.
class Crc32 {
public:
    void add(const uint8_t* bytes, size_t size);
    uint32_t value() const { return value_; }
    // The CRC-32 of A followed by B, from each one's and B's length.
    static uint32_t combine(uint32_t a, uint32_t b, uint64_t sizeOfB);

private:
    uint32_t value_ = 0;
};

// A zip archive written as its entries stream past: each entry stored or
// deflated, in the order begun, all with one fixed time (1980-01-01 00:00),
// so that the same entries give the same bytes on every run and host. The
// entry sizes are written into the local header where the target can be
// overwritten, and in a data descriptor after the entry where it cannot.
// No ZIP64: an archive that would need it (an entry or an offset of 4 GiB or
// more, 65,535 entries) throws an error for the user. Memory stays bounded
// by one deflate window and one output buffer, whatever the entries' size.
class ZipWriter {
public:
    enum class Method : uint16_t { Stored = 0, Deflated = 8 };

    // `level`: zlib's deflate level (1 fastest to 9 smallest).
    explicit ZipWriter(ZipTarget& target, int level = 1);
    ~ZipWriter();

    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // `name`: UTF-8, "/" between folders.
    void begin(const std::string& name, Method method);
    void write(const uint8_t* bytes, size_t size);
    void write(const std::string& text) { write(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }
    void end();

    // A whole entry from bytes in memory.
    void add(const std::string& name, Method method, const std::string& bytes);

    // A stored entry whose bytes the caller writes into an overwritable
    // target itself, appending and overwriting: the bytes from the returned
    // offset to the target's end when the entry ends, `size` of them, with
    // `crc` their CRC-32.
    uint64_t beginPlaced(const std::string& name);
    void endPlaced(uint32_t crc, uint64_t size);

    // Writes the central directory; the writer takes no more entries.
    void finish();

private:
    struct Entry {
        std::string name;
        Method method;
        uint32_t crc = 0;
        uint64_t compressedSize = 0;
        uint64_t size = 0;
        uint64_t headerOffset = 0;
        bool descriptor = false;
    };
    struct Deflater;

    void writeLocalHeader(Entry& entry);
    void closeEntry();
    void emit(const uint8_t* bytes, size_t size);
    void flushDeflater(bool last);

    ZipTarget& target_;
    int level_;
    std::vector<Entry> entries_;
    bool open_ = false;
    bool finished_ = false;
    Crc32 crc_;
    std::unique_ptr<Deflater> deflater_;
    std::vector<uint8_t> buffer_;
};
