#pragma once

#include "DeferredDeleter.h"
#include "tstrings.h"

// An output file made under a staging name beside it and moved into place
// only when complete: until commit(), a failure leaves neither the output
// (whatever was there stays) nor a staging file.
class StagedOutput {
public:
    // Throws an error for the user when the output is a directory or its
    // directory takes no new file.
    explicit StagedOutput(const tstring& output);

    const tstring& path() const { return output_; }
    // An empty file to write the output to.
    const tstring& staging() const { return staging_; }
    // Replaces an existing output.
    void commit();

private:
    tstring output_;
    tstring staging_;
    DeferredDeleter cleanup_;
};

