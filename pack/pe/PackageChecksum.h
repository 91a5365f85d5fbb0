#pragma once

#include "PackFiles.h"
#include "PeChecksum.h"

#include <atomic>
#include <future>

// The package's share of a setup's CheckSum, summed on a thread of its own
// from the moment this is made, while the rest of the setup is planned and
// the package copied. The package starts at an even offset in every setup (a
// multiple of 8 at the least), so its 16-bit words, and so its share, do not
// depend on where.
class PackageChecksum {
public:
    explicit PackageChecksum(const InputFile& package);
    // A sum nobody asked for stops at once: a package refused for its facts
    // is not read to its end.
    // Neither copied nor moved (its atomic flag is neither): the thread
    // reads the flag where it is.
    ~PackageChecksum();

    // Waits for the sum; throws what summing threw.
    PeChecksum get() { return sum_.get(); }

private:
    std::atomic<bool> stop_{false};
    std::future<PeChecksum> sum_;
};
