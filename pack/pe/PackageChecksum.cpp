#include "PackageChecksum.h"

namespace {

struct Stopped {};

PeChecksum checksumOf(const InputFile& package, const std::atomic<bool>& stop) {
    PeChecksum checksum;
    try {
        package.visit(0, package.size(), [&](uint64_t at, const uint8_t* bytes, size_t size) {
            if (stop) {
                throw Stopped();
            }
            checksum.add(at, bytes, size);
        });
    } catch (const Stopped&) {
    }
    return checksum;
}

} // namespace

PackageChecksum::PackageChecksum(const InputFile& package)
    : sum_(std::async(std::launch::async, checksumOf, std::cref(package), std::cref(stop_))) {}

PackageChecksum::~PackageChecksum() {
    stop_ = true;
    if (sum_.valid()) {
        sum_.wait();
    }
}
