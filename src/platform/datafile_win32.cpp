// Data files on Windows: they travel beside the program; there is no installed data folder.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/datafile.h"
#include "platform/win32.h"

namespace platform {

const std::vector<std::string>& installedDataFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> f;
        if (!win32::programFolder().empty()) f.push_back(win32::programFolder());
        return f;
    }();
    return folders;
}

std::FILE* openRegularFile(const std::string& path, uint64_t* size) {
    // Windows has no FIFOs in the file system; a device name (CON, NUL) is not a regular file.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f && size) *size = uint64_t(st.st_size);
    return f;
}

bool readWholeFile(const std::string& path, size_t limit, std::string& text, std::string& error,
                   bool) {
    // Windows has no FIFOs in the file system: a regular file or nothing.
    text.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = detail::notAFile(S_ISDIR(st.st_mode));
        return false;
    }
    if (uint64_t(st.st_size) > limit) {
        error = detail::tooLarge(limit);
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    char buf[65536];
    size_t n;
    while (text.size() <= limit &&
           (n = std::fread(buf, 1, std::min(sizeof buf, limit + 1 - text.size()), f)) > 0)
        text.append(buf, n);
    const bool readError = std::ferror(f);
    std::fclose(f);
    if (readError || text.size() > limit)
        error = readError ? "it cannot be read" : detail::tooLarge(limit);
    return !readError && text.size() <= limit;
}

std::FILE* openTraceFile(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) error = std::strerror(errno);
    return f;
}

bool replaceFile(const std::string& from, const std::string& to) {
    std::remove(to.c_str());  // the C runtime's rename does not replace a file
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform
