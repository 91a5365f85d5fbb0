#include "Extractor.h"

#include "ErrorHandling.h"
#include "InputChecks.h"
#include "MappedFile.h"
#include "SetupFile.h"
#include "StagedOutput.h"

#include <cstring>

void extract(const tstring& setup, const tstring& output) {
    refuseOutputOverInput(output, setup, L"the setup executable");
    const SetupFile file(setup);
    StagedOutput staged(output);
    const Resource& package = file.package();
    package.writeToFile(staged.staging());
    {
        const MappedFile written(staged.staging());
        if (written.size() != package.size() ||
            (written.size() != 0 &&
             std::memcmp(written.data(), package.rawData(), package.size()) != 0)) {
            VK_THROW_MSG("The package written to " << staged.path() << " differs from the one inside "
                                                   << setup);
        }
    }
    staged.commit();
}
