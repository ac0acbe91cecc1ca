#include "emptyfolder.h"

#include <cerrno>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// nftw() passes no context to its callback; the server is single-threaded.
bool g_openedUp = false;

int removeEntry(const char *path, const struct stat *, int type, struct FTW *at)
{
    if (at->level == 0)
        return 0; // the folder itself: a mount point
    if (type == FTW_DNR) {
        // Made unreadable: its contents go in the next round.
        g_openedUp = ::chmod(path, 0700) == 0 || g_openedUp;
        return 0;
    }
    const auto remove = [&] { return type == FTW_DP ? ::rmdir(path) : ::unlink(path); };
    if (remove() != 0 && errno == EACCES) {
        // Its folder was made read-only.
        const std::string parent(path, size_t(at->base > 0 ? at->base - 1 : 0));
        if (!parent.empty() && ::chmod(parent.c_str(), 0700) == 0)
            remove();
    }
    return 0;
}

} // namespace

void emptyFolder(const QByteArray &folder)
{
    // FTW_MOUNT: entries on another file system are neither reported nor
    // entered. Each round opens up one more level of unreadable folders;
    // a plug-in nesting them deeper leaves the rest to the next scan.
    for (int round = 0; round < 8; ++round) {
        g_openedUp = false;
        if (::nftw(folder.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT) != 0 || !g_openedUp)
            return;
    }
}
