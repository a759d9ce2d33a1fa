// Data files on POSIX systems: the installed folder beside the program's prefix, and opening
// without blocking.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/datafile.h"

#ifndef VARNIS_DATADIR
#define VARNIS_DATADIR "/usr/local/share/varnis"
#endif

namespace platform {

namespace {

// <prefix>/share/varnis for an executable in <prefix>/bin (or any one folder below the prefix).
std::string besideExecutable() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string exe(buf, size_t(n));
    const size_t bin = exe.rfind('/');
    if (bin == std::string::npos || bin == 0) return {};
    const size_t prefix = exe.rfind('/', bin - 1);
    if (prefix == std::string::npos) return {};
    return exe.substr(0, prefix) + "/share/varnis";
}

}  // namespace

const std::vector<std::string>& installedDataFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> f;
        const std::string beside = besideExecutable();
        if (!beside.empty() && beside != VARNIS_DATADIR) f.push_back(beside);
        f.push_back(VARNIS_DATADIR);
        return f;
    }();
    return folders;
}

std::FILE* openRegularFile(const std::string& path, uint64_t* size) {
    // Opened without blocking, so a FIFO with no writer (or a device) cannot stop the open for
    // ever; anything but a regular file is then closed again unread.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    if (size) *size = uint64_t(st.st_size);
    return f;
}

}  // namespace platform
