#include "CompoundFileCheck.h"

#include "CompoundFileReader.h"

void checkCompoundFile(const ByteSource& file, uint64_t offset, uint64_t size) {
    CompoundFileReader{file, offset, size};
}
