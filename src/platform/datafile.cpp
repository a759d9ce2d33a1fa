#include "platform/datafile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

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

namespace detail {

std::string tooLarge(size_t limit) {
    return "it is larger than " + (limit % (1u << 20) == 0 ? std::to_string(limit >> 20) + " MiB"
                                                           : std::to_string(limit) + " bytes");
}

std::string notAFile(bool folder) {
    return folder ? "it is a folder" : "it is a device or another special file, not a file";
}

}  // namespace detail

std::string dataFilePath(const char* name) { return findDataFile(name, installedDataFolders()); }

std::FILE* openDataFile(const char* name, uint64_t* size) {
    return name ? openRegularFile(dataFilePath(name), size) : nullptr;
}

bool isWritableFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace platform
