#include "ByteSource.h"
#include "ErrorHandling.h"
#include "PeHeaders.h"
#include "SetupStub.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using LittleEndian::get16;
using LittleEndian::put16;
using LittleEndian::put32;

std::string refusal(const std::vector<uint8_t>& stub) {
    try {
        SetupStub(MemoryBytes(stub), L"stub.exe");
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    return "accepted";
}

struct Spoiling {
    const char* what;
    std::function<void(std::vector<uint8_t>&, const PeHeaders&)> spoil;
    const char* reason;
};

TEST(SetupStubTest, OnlyAStubThatCanCarryAPackageIsTaken) {
    const std::vector<uint8_t> stub = readBytes(stubPath());
    ASSERT_EQ("accepted", refusal(stub));
    const std::vector<Spoiling> cases{
        {"no program", [](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[0] = 'X'; },
         "The setup stub stub.exe is no Velkin setup stub: it is no Windows program"},
        // 8 bytes each, 0x20000000 of them wrap to 0 in 32 bits.
        {"a directory count beyond its header",
         [](std::vector<uint8_t>& bytes, const PeHeaders& headers) {
             put32(&bytes[headers.directoryOffset(PeHeaders::Directory{0}) - 4], 0x20000000);
         },
         "The setup stub stub.exe is no Velkin setup stub: its headers are damaged"},
        {"a 32-bit program",
         [](std::vector<uint8_t>& bytes, const PeHeaders& headers) {
             put16(&bytes[headers.sizeOfInitializedDataOffset() - 8], 0x10B);
         },
         "The setup stub stub.exe is no Velkin setup stub: it is no 64-bit Windows program"},
        {"another program",
         [](std::vector<uint8_t>& bytes, const PeHeaders& headers) {
             const PeSection& resources =
                 headers.sections()[headers.sectionAt(headers.directory(PeHeaders::Resources).rva)];
             const std::vector<uint8_t> pattern{'V', 0, 'E', 0, 'L', 0, 'K', 0, 'I', 0, 'N', 0, '_', 0, 'S', 0};
             const auto found = std::search(bytes.begin() + resources.pointerToRawData, bytes.end(),
                                            pattern.begin(), pattern.end());
             ASSERT_NE(bytes.end(), found);
             *(found + 14) = 'X';
         },
         "The setup stub stub.exe is no Velkin setup stub: it is another program (velkin-setup.exe is the stub)"},
        {"appended data", [](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes.resize(bytes.size() + 512, 1); },
         "The setup stub stub.exe cannot carry a package: data follows its sections (a symbol table, a signature "
         "or appended data)"},
        {"a certificate table beyond the end of the file",
         [](std::vector<uint8_t>& bytes, const PeHeaders& headers) {
             put32(&bytes[headers.directoryOffset(PeHeaders::Certificates)], static_cast<uint32_t>(bytes.size()));
             put32(&bytes[headers.directoryOffset(PeHeaders::Certificates) + 4], 8);
         },
         "The setup stub stub.exe cannot carry a package: data follows its sections (a symbol table, a signature "
         "or appended data)"},
        {"a certificate table with data after it",
         [](std::vector<uint8_t>& bytes, const PeHeaders& headers) {
             put32(&bytes[headers.directoryOffset(PeHeaders::Certificates)], static_cast<uint32_t>(bytes.size()));
             put32(&bytes[headers.directoryOffset(PeHeaders::Certificates) + 4], 8);
             bytes.resize(bytes.size() + 16, 1);
         },
         "The setup stub stub.exe cannot carry a package: data follows its sections (a symbol table, a signature "
         "or appended data)"},
        {"a section after the relocations",
         [](std::vector<uint8_t>& bytes, const PeHeaders& headers) {
             const size_t count = headers.sections().size();
             const PeSection& last = headers.sections().back();
             uint8_t* added = &bytes[headers.sectionOffset(count)];
             std::copy(bytes.begin() + headers.sectionOffset(count - 1), bytes.begin() + headers.sectionOffset(count),
                       added);
             added[1] = 'x';
             put32(added + 12, last.virtualAddress + ((last.virtualSize + 0xFFFu) & ~0xFFFu));
             put32(added + 16, 0x1000);
             put32(added + 20, static_cast<uint32_t>(bytes.size()));
             bytes.resize(bytes.size() + 0x1000, 0);
             uint8_t* count16 = &bytes[headers.sectionOffset(0) - 240 - 18];
             put16(count16, static_cast<uint16_t>(get16(count16) + 1));
         },
         "The setup stub stub.exe cannot carry a package: the section .xeloc follows its resources and cannot move"},
    };
    const PeHeaders headers{MemoryBytes(stub)};
    for (const Spoiling& spoiling : cases) {
        std::vector<uint8_t> spoiled = stub;
        spoiling.spoil(spoiled, headers);
        EXPECT_EQ(spoiling.reason, refusal(spoiled)) << spoiling.what;
    }
}

// A signer appends its table after the sections, padded to 8 bytes: the
// stub is taken as it was before, and says what went.
TEST(SetupStubTest, ASignatureAtTheEndIsDropped) {
    const std::vector<uint8_t> stub = readBytes(stubPath());
    const PeHeaders headers{MemoryBytes(stub)};
    for (const size_t padding : {size_t{0}, size_t{5}}) {
        std::vector<uint8_t> signedStub = stub;
        signedStub.resize(stub.size() + padding, 0);
        put32(&signedStub[headers.directoryOffset(PeHeaders::Certificates)],
              static_cast<uint32_t>(signedStub.size()));
        put32(&signedStub[headers.directoryOffset(PeHeaders::Certificates) + 4], 24);
        signedStub.resize(signedStub.size() + 24, 0x30);
        const SetupStub taken(MemoryBytes(signedStub), L"stub.exe");
        EXPECT_TRUE(taken.signatureDropped()) << padding;
        EXPECT_EQ(stub, taken.bytes()) << padding;
    }
    EXPECT_FALSE(SetupStub(MemoryBytes(stub), L"stub.exe").signatureDropped());
}

} // namespace
