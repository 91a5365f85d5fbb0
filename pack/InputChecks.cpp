#include "InputChecks.h"

#include "ErrorHandling.h"
#include "PackFiles.h"

void requireInputFile(const tstring& path, const tstring& what) {
    if (PackFiles::isDirectory(path)) {
        VK_THROW_MSG(what << " " << path << " is a directory");
    }
    if (!PackFiles::exists(path)) {
        VK_THROW_MSG(what << " " << path << " does not exist");
    }
}

void refuseOutputOverInput(const tstring& output, const tstring& input, const tstring& what) {
    if (PackFiles::isSameFile(output, input)) {
        VK_THROW_MSG("The output " << output << " is " << what << " itself; choose another name");
    }
}
