#include "OutputSet.h"

#include "WindowsFileName.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// For the tests that stop a run before or in the middle of a publication:
// the time, in milliseconds, to wait before it starts and after each output
// is published.
void pauseForTests() {
    const char* pause = std::getenv("VELKIN_PACK_TEST_PUBLISH_PAUSE");
    if (pause && *pause) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::strtoul(pause, nullptr, 10)));
    }
}

} // namespace

OutputSet::OutputSet() = default;

OutputSet::~OutputSet() = default;

StagedOutput& OutputSet::add(const tstring& path) {
    WindowsFileName::require(WindowsFileName::leafOf(path), "The output's name");
    const PoliteEnd::HeldOff heldOff(politeEnd_);
    outputs_.push_back(std::make_unique<StagedOutput>(path));
    return *outputs_.back();
}

void OutputSet::publish() {
    pauseForTests();
    PoliteEnd::HeldOff publication(politeEnd_);
    std::vector<std::unique_ptr<FormerOutput>> former;
    try {
        for (const auto& output : outputs_) {
            std::unique_ptr<FormerOutput> kept = FormerOutput::keep(output->path());
            output->publish();
            former.push_back(std::move(kept));
            pauseForTests();
        }
    } catch (...) {
        // The output that failed replaced nothing; those before it are
        // undone, the last first.
        for (size_t i = former.size(); i-- > 0;) {
            if (former[i]) {
                former[i]->putBack();
            } else {
                try {
                    PackFiles::removeFile(outputs_[i]->path());
                } catch (const std::exception&) {
                    // The failure that is thrown is the one to tell.
                }
            }
        }
        throw;
    }
    publication.published();
}
