#include "CompoundFileOutput.h"

#include "CompoundFileCheck.h"
#include "CompoundFileWriter.h"
#include "PackFiles.h"

void writeCompoundFileTo(const CompoundStorage& root, const tstring& output) {
    StagedOutput staged(output);
    staged.reserve(compoundFileSize(root));
    uint64_t at = 0;
    writeCompoundFile(root, [&](const uint8_t* bytes, size_t count) {
        staged.write(at, bytes, count);
        at += count;
    });
    checkCompoundFile(staged, 0, staged.size());
    staged.publish();
}
