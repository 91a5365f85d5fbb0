#include "InputChecks.h"

#include "ErrorHandling.h"
#include "PackFiles.h"

void requireInputFile(const tstring& path, const tstring& what) {
    if (!PackFiles::exists(path)) {
        VK_THROW_MSG(what << " " << path << " does not exist");
    }
    const tstring kind = PackFiles::nonFileKind(path);
    if (!kind.empty()) {
        VK_THROW_MSG(what << " " << path << " is " << kind << ", not a regular file");
    }
}

void refuseOutputOverInput(const tstring& output, const tstring& input, const tstring& what) {
    if (PackFiles::isSameFile(output, input)) {
        VK_THROW_MSG("The output " << output << " is " << what << " itself; choose another name");
    }
}
