// Data files on Windows: they travel beside the program; there is no installed data folder.
#include <sys/stat.h>

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

}  // namespace platform
