#include "PrivateDirectory.h"

#include "ErrorHandling.h"
#include "NativeText.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int removeEntry(const char* path, const struct stat*, int kind, struct FTW*) {
    if (kind == FTW_DP) {
        ::rmdir(path);
    } else {
        ::unlink(path);
    }
    return 0;
}

std::string temporaryDirectory() {
    const char* configured = std::getenv("TMPDIR");
    return configured && *configured ? configured : "/tmp";
}

} // namespace

struct PrivateDirectory::Handle {};

PrivateDirectory::PrivateDirectory() {
    std::string pattern = temporaryDirectory() + "/velkin-pack-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes it with mode 0700.
    if (!::mkdtemp(name.data())) {
        VK_THROW_MSG("Cannot make a private directory in " << fromNative(temporaryDirectory()) << ": "
                                                           << std::strerror(errno));
    }
    path_ = fromNative(name.data());
}

PrivateDirectory::~PrivateDirectory() {
    // Whatever a signer left there goes too; a link is removed, never followed.
    ::nftw(toNative(path_).c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

tstring PrivateDirectory::place(const tstring& folder, const tstring& leaf) const {
    const tstring directory = path_ + L"/" + folder;
    if (::mkdir(toNative(directory).c_str(), 0700) != 0) {
        VK_THROW_MSG("Cannot make the directory " << directory << ": " << std::strerror(errno));
    }
    return directory + L"/" + leaf;
}
