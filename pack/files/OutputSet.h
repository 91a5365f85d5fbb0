#pragma once

#include "FormerOutput.h"
#include "PackFiles.h"
#include "PoliteEnd.h"

#include <memory>
#include <vector>

// Outputs that belong together (an Intune package and the Graph body of its
// app, the three files of a winget manifest) published as one set: all of
// them or none. From its making to its end the polite ends of the process
// are watched (see PoliteEnd): a signal before the publication publishes
// nothing and leaves no staging file, one during it waits until the set is
// whole or put back.
class OutputSet {
public:
    OutputSet();
    ~OutputSet();

    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Stages an output, checked first: a name that Windows cannot hold (see
    // WindowsFileName), and what StagedOutput refuses. Add every output
    // before the first byte is written, so that none is refused after
    // another was written.
    StagedOutput& add(const tstring& path);

    // Publishes the outputs in the order they were added. When one fails,
    // the earlier ones are undone (what they replaced put back, what they
    // added removed) before the failure is thrown.
    void publish();

private:
    PoliteEnd politeEnd_;
    std::vector<std::unique_ptr<StagedOutput>> outputs_;
};
