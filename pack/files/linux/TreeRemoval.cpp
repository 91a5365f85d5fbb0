#include "TreeRemoval.h"

#include <ftw.h>
#include <unistd.h>

namespace {

int removeEntry(const char* path, const struct stat*, int kind, struct FTW*) {
    if (kind == FTW_DP) {
        ::rmdir(path);
    } else {
        ::unlink(path);
    }
    return 0;
}

} // namespace

void removeTree(const std::string& path) { ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }
