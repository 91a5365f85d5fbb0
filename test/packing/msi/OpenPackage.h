#pragma once

#include "CompoundFileReader.h"
#include "MsiDatabase.h"
#include "TestFiles.h"

#include <string>
#include <vector>

// A test package of the build read by the compound-file reader and decoded,
// kept together with its bytes.
struct OpenPackage {
    explicit OpenPackage(const std::string& name)
        : bytes(readBytes(packagePath(name))), source(bytes), reader(source, 0, bytes.size()),
          database(reader.root()) {}

    std::vector<uint8_t> bytes;
    MemoryBytes source;
    CompoundFileReader reader;
    MsiDatabase database;
};
