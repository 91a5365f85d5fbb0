#include "Extractor.h"

#include "CompoundFileCheck.h"
#include "DamagedFile.h"
#include "ErrorHandling.h"
#include "InputChecks.h"
#include "PackFiles.h"
#include "SetupFile.h"

namespace {

// No package is smaller: a compound file's header and its first sectors of
// allocation table and directory take 512 bytes each.
constexpr uint64_t smallestPackage = 3 * 512;

} // namespace

void extract(const tstring& setup, const tstring& output) {
    refuseOutputOverInput(output, setup, L"the setup executable");
    requireInputFile(setup, L"The setup executable");
    const InputFile file(setup);
    const SetupFile contents(file, setup);
    if (contents.packageSize() < smallestPackage) {
        VK_THROW_MSG(setup << " is a Velkin setup executable whose package cannot be read: its "
                           << contents.packageSize() << " bytes are fewer than any Windows Installer package has");
    }
    // Published only when it is a package: a resource of the setup that
    // points elsewhere (into its code) would otherwise come out as one.
    try {
        checkCompoundFile(file, contents.packageOffset(), contents.packageSize());
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_DAMAGED(setup << " is a Velkin setup executable whose package cannot be read: "
                               << e.originalMessage());
    }
    StagedOutput staged(output);
    staged.copy(file, contents.packageOffset(), 0, contents.packageSize());
    staged.publish();
}
