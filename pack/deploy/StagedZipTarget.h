#pragma once

#include "PackFiles.h"
#include "ZipWriter.h"

// A zip archive written into a staged output file from its start.
class StagedZipTarget : public ZipTarget {
public:
    explicit StagedZipTarget(StagedOutput& output) : output_(output) {}

    void append(const uint8_t* bytes, size_t size) override {
        output_.write(position_, bytes, size);
        position_ += size;
    }
    uint64_t position() const override { return position_; }
    bool canOverwrite() const override { return true; }
    void overwrite(uint64_t offset, const uint8_t* bytes, size_t size) override {
        output_.write(offset, bytes, size);
    }

private:
    StagedOutput& output_;
    uint64_t position_ = 0;
};
