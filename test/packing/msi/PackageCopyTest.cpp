#include "CompoundFileReader.h"
#include "CompoundFileWriter.h"
#include "CompoundTrees.h"
#include "NativeText.h"
#include "PackageFacts.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

// A package copied storage by storage, stream by stream, through the reader
// and the writer.
std::vector<uint8_t> copyOf(const std::vector<uint8_t>& package) {
    const MemoryBytes file(package);
    const CompoundFileReader reader(file, 0, package.size());
    return writtenBytes(reader.root());
}

std::string streamList(const tstring& package) {
    return runPython("import subprocess, sys\n"
                     "print(sorted(subprocess.check_output(['msiinfo', 'streams', sys.argv[1]]).split()))",
                     {toNative(package)});
}

void expectSameFacts(const RawPackageFacts& expected, const RawPackageFacts& actual) {
    EXPECT_EQ(expected.properties, actual.properties);
    EXPECT_EQ(expected.repeatedProperty, actual.repeatedProperty);
    EXPECT_EQ(expected.revisionNumber, actual.revisionNumber);
    EXPECT_EQ(expected.wordCount, actual.wordCount);
    EXPECT_EQ(expected.subject, actual.subject);
    EXPECT_EQ(expected.comments, actual.comments);
    EXPECT_EQ(expected.platformTemplate, actual.platformTemplate);
    ASSERT_EQ(expected.disks.size(), actual.disks.size());
    for (size_t i = 0; i < expected.disks.size(); ++i) {
        EXPECT_EQ(expected.disks[i].lastSequence, actual.disks[i].lastSequence);
        EXPECT_EQ(expected.disks[i].cabinet, actual.disks[i].cabinet);
    }
    ASSERT_EQ(expected.files.size(), actual.files.size());
    for (size_t i = 0; i < expected.files.size(); ++i) {
        EXPECT_EQ(expected.files[i].fileName, actual.files[i].fileName);
        EXPECT_EQ(expected.files[i].attributes, actual.files[i].attributes);
        EXPECT_EQ(expected.files[i].sequence, actual.files[i].sequence);
    }
    EXPECT_EQ(expected.isSigned, actual.isSigned);
}

// The copies hold every stream and storage of the original, read the same
// by libmsi (the facts velkin-pack reads) and by msitools, and a copy of a
// copy is the copy, byte for byte.
TEST(PackageCopyTest, CopiesReadAsTheOriginalsDo) {
    const ScratchDirectory scratch;
    for (const char* name : {"demo.msi", "binary.msi", "large.msi", "args.msi"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> original = readBytes(packagePath(name));
        const std::vector<uint8_t> copy = copyOf(original);
        const MemoryBytes originalFile(original);
        const MemoryBytes copyFile(copy);
        EXPECT_EQ("", treeDifferences(CompoundFileReader(originalFile, 0, original.size()).root(),
                                      CompoundFileReader(copyFile, 0, copy.size()).root()));
        EXPECT_EQ(copy, copyOf(copy));

        const tstring copyPath = scratch / name;
        writeBytes(copyPath, copy);
        expectSameFacts(readPackageFacts(packagePath(name)), readPackageFacts(copyPath));
        EXPECT_EQ(streamList(packagePath(name)), streamList(copyPath));
    }
}

} // namespace
