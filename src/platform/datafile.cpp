#include "platform/datafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include "platform/win32/win32.h"
#else
#include <unistd.h>
#endif

#ifndef VARNIS_DATADIR
#define VARNIS_DATADIR "/usr/local/share/varnis"
#endif

namespace platform {

namespace {

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

#ifdef _WIN32
// Windows: the files travel beside the program.
std::string besideExecutable() { return win32::programFolder(); }
#else
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
#endif

}  // namespace

std::string findDataFile(const char* name, const std::vector<std::string>& folders) {
    if (!name) return {};
    const std::string given(name);
    if (given.empty() || given.find('/') != std::string::npos || isRegularFile(given)) return given;
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        std::string path = folder;
        if (path.back() != '/') path += '/';
        path += given;
        if (isRegularFile(path)) return path;
    }
    return given;
}

const std::vector<std::string>& installedDataFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> f;
        const std::string beside = besideExecutable();
#ifdef _WIN32
        if (!beside.empty()) f.push_back(beside);
        return f;  // and no installed data folder
#endif
        if (!beside.empty() && beside != VARNIS_DATADIR) f.push_back(beside);
        f.push_back(VARNIS_DATADIR);
        return f;
    }();
    return folders;
}

std::string dataFilePath(const char* name) {
    return findDataFile(name, installedDataFolders());
}

#ifdef _WIN32
std::FILE* openRegularFile(const std::string& path, uint64_t* size) {
    // Windows has no FIFOs in the file system; a device name (CON, NUL) is not a regular file.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f && size) *size = uint64_t(st.st_size);
    return f;
}
#else
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
#endif

std::FILE* openDataFile(const char* name, uint64_t* size) {
    return name ? openRegularFile(dataFilePath(name), size) : nullptr;
}

bool isWritableFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace platform
