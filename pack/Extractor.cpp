#include "Extractor.h"

#include "InputChecks.h"
#include "PackFiles.h"
#include "SetupFile.h"

void extract(const tstring& setup, const tstring& output) {
    refuseOutputOverInput(output, setup, L"the setup executable");
    requireInputFile(setup, L"The setup executable");
    const InputFile file(setup);
    const SetupFile contents(file, setup);
    StagedOutput staged(output);
    staged.copy(file, contents.packageOffset(), 0, contents.packageSize());
    staged.publish();
}
