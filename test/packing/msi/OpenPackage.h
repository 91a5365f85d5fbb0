#pragma once

#include "CompoundFileReader.h"
#include "MsiDatabase.h"
#include "TestFiles.h"

#include <string>
#include <vector>

// One of the test packages, read into memory and opened as velkin-pack opens
// a package: its compound file and its database.
struct OpenPackage {
    explicit OpenPackage(const std::string& name)
        : bytes(readBytes(packagePath(name))), source(bytes), reader(source, 0, bytes.size()),
          database(reader.root()) {}

    std::vector<uint8_t> bytes;
    MemoryBytes source;
    CompoundFileReader reader;
    MsiDatabase database;
};
