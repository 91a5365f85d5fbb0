#include "ZipWriter.h"

#include "Sha256.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// An archive in memory, overwritable or a one-way stream.
class MemoryTarget : public ZipTarget {
public:
    explicit MemoryTarget(bool overwritable, uint64_t start = 0) : overwritable_(overwritable), start_(start) {}

    void append(const uint8_t* bytes, size_t size) override { bytes_.insert(bytes_.end(), bytes, bytes + size); }
    uint64_t position() const override { return start_ + bytes_.size(); }
    bool canOverwrite() const override { return overwritable_; }
    void overwrite(uint64_t offset, const uint8_t* bytes, size_t size) override {
        ASSERT_TRUE(overwritable_);
        ASSERT_LE(offset - start_ + size, bytes_.size());
        std::memcpy(&bytes_[offset - start_], bytes, size);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    bool overwritable_;
    uint64_t start_;
    std::vector<uint8_t> bytes_;
};

// Half random, half repeated: deflate has work to do on both kinds.
std::vector<uint8_t> sample(size_t size) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(7);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = i < size / 2 ? static_cast<uint8_t>(random()) : static_cast<uint8_t>("velkin"[i % 6]);
    }
    return bytes;
}

std::string sumOf(const std::vector<uint8_t>& bytes) {
    Sha256 sum;
    sum.add(bytes.data(), bytes.size());
    return Sha256::hex(sum.finish());
}

// Python's zipfile lists the archive: per entry its name, method, time,
// flags, extra field length and the SHA-256 of its contents, after checking
// every entry's CRC-32.
std::string listing(const std::vector<uint8_t>& archive) {
    ScratchDirectory scratch;
    writeBytes(scratch / "test.zip", archive);
    return runPython(R"(
import hashlib, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad: print("bad CRC:", bad)
    for i in z.infolist():
        print(i.filename, i.compress_type, i.date_time, i.flag_bits, len(i.extra),
              hashlib.sha256(z.read(i)).hexdigest().upper())
)",
                     {scratch.path() + "/test.zip"});
}

std::string line(const std::string& name, int method, int flags, const std::vector<uint8_t>& bytes) {
    return name + " " + std::to_string(method) + " (1980, 1, 1, 0, 0, 0) " + std::to_string(flags) + " 0 " +
           sumOf(bytes) + "\n";
}

void addBytes(ZipWriter& zip, const std::string& name, ZipWriter::Method method, const std::vector<uint8_t>& bytes,
              size_t piece) {
    zip.begin(name, method);
    for (size_t at = 0; at < bytes.size(); at += piece) {
        zip.write(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    zip.end();
}

// Stored and deflated entries, an empty one and one with a name beyond
// ASCII, read back in order with their contents, fixed time and the UTF-8
// flag; in an overwritable target the sizes go in the local header, in a
// stream into a descriptor after each entry (flag 8).
TEST(ZipWriterTest, ReadBackByPythonsZipfile) {
    const std::vector<uint8_t> big = sample(3 * 1024 * 1024 + 17);
    const std::string text = "plain text\r\n";
    const std::vector<uint8_t> textBytes(text.begin(), text.end());
    for (const bool overwritable : {true, false}) {
        SCOPED_TRACE(overwritable ? "file" : "stream");
        MemoryTarget target(overwritable);
        ZipWriter zip(target);
        if (overwritable) {
            zip.add("a.txt", ZipWriter::Method::Stored, text);
        }
        addBytes(zip, "dir/big.bin", ZipWriter::Method::Deflated, big, 65536);
        zip.add("empty", ZipWriter::Method::Deflated, "");
        zip.add("d\xC3\xA9j\xC3\xA0.txt", ZipWriter::Method::Deflated, text);
        zip.finish();
        const int descriptor = overwritable ? 0 : 8;
        const std::string expected = (overwritable ? line("a.txt", 0, 0, textBytes) : std::string()) +
                                     line("dir/big.bin", 8, descriptor, big) + line("empty", 8, descriptor, {}) +
                                     line("d\xC3\xA9j\xC3\xA0.txt", 8, descriptor | 2048, textBytes);
        EXPECT_EQ(expected, listing(target.bytes()));
        EXPECT_LT(target.bytes().size(), big.size()) << "the repeated half is not deflated";
    }
}

// The same entries give the same bytes, however the caller cuts them into
// pieces: what makes both hosts' archives agree.
TEST(ZipWriterTest, SameBytesWhateverThePieces) {
    const std::vector<uint8_t> big = sample(1024 * 1024 + 5);
    std::vector<std::vector<uint8_t>> archives;
    for (const size_t piece : {big.size(), size_t(7), size_t(131072), size_t(100003)}) {
        MemoryTarget target(false);
        ZipWriter zip(target);
        addBytes(zip, "big.bin", ZipWriter::Method::Deflated, big, piece);
        zip.finish();
        archives.push_back(target.bytes());
    }
    for (const auto& archive : archives) {
        EXPECT_EQ(archives[0], archive);
    }
}

// An entry whose first bytes are known last: written in place by the
// caller, its CRC-32 combined from the parts.
TEST(ZipWriterTest, PlacedEntryWithCombinedCrc) {
    const std::vector<uint8_t> front = sample(32);
    const std::vector<uint8_t> rest = sample(100000);
    MemoryTarget target(true);
    ZipWriter zip(target);
    const uint64_t at = zip.beginPlaced("placed.bin");
    target.bytes().resize(target.bytes().size() + front.size());
    Crc32 restCrc;
    restCrc.add(rest.data(), rest.size());
    target.append(rest.data(), rest.size());
    target.overwrite(at, front.data(), front.size());
    Crc32 frontCrc;
    frontCrc.add(front.data(), front.size());
    zip.endPlaced(Crc32::combine(frontCrc.value(), restCrc.value(), rest.size()), front.size() + rest.size());
    zip.add("after.txt", ZipWriter::Method::Stored, "x");
    zip.finish();
    std::vector<uint8_t> whole = front;
    whole.insert(whole.end(), rest.begin(), rest.end());
    EXPECT_EQ(line("placed.bin", 0, 0, whole) + line("after.txt", 0, 0, {'x'}), listing(target.bytes()));
}

// What zip cannot say without ZIP64, and a stored entry that a stream could
// not end, throw rather than write an archive that readers misread.
TEST(ZipWriterTest, RefusesWhatItCannotWrite) {
    MemoryTarget far(true, 0xFFFFFFFFull);
    ZipWriter beyond(far);
    EXPECT_THROW(beyond.add("late.txt", ZipWriter::Method::Deflated, "x"), std::exception);

    MemoryTarget stream(false);
    ZipWriter streamed(stream);
    EXPECT_THROW(streamed.begin("stored.bin", ZipWriter::Method::Stored), std::exception);
    EXPECT_THROW(streamed.beginPlaced("placed.bin"), std::exception);

    // The central directory counts entries in 16 bits: 65,535 are read back,
    // one more would count 0.
    MemoryTarget many(true);
    ZipWriter crowded(many);
    for (int i = 0; i < 0xFFFF; ++i) {
        crowded.add(std::to_string(i), ZipWriter::Method::Stored, "");
    }
    EXPECT_THROW(crowded.add("65536", ZipWriter::Method::Stored, ""), std::exception);
    crowded.finish();
    ScratchDirectory scratch;
    writeBytes(scratch / "many.zip", many.bytes());
    EXPECT_EQ("65535 65534\n", runPython(R"(
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
print(len(names), names[-1])
)",
                                          {scratch.path() + "/many.zip"}));

    MemoryTarget file(true);
    ZipWriter placed(file);
    placed.beginPlaced("short.bin");
    file.append(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_THROW(placed.endPlaced(0, 4), std::exception) << "a size other than that written";
}

} // namespace
