#include <windows.h>

#include "platform/datafile.h"
#include "platform/win32.h"

// windows.h defines macros named like the host's message and key constants: this file includes
// nothing that declares them.
namespace platform::win32 {

// Code page 932 through the system's own tables, one character at a time, so that an
// undecodable or cut-off sequence costs U+FFFD for its first byte only, as with iconv.
std::u32string decodeShiftJis(const char* sjis) {
    std::u32string out;
    if (!sjis) return out;
    for (const char* p = sjis; *p;) {
        const auto lead = uint8_t(*p);
        const int length =
            ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && p[1] ? 2 : 1;
        wchar_t w[2];
        if (lead < 0x80) {
            out += char32_t(lead);
        } else if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, p, length, w, 2) == 1) {
            out += char32_t(w[0]);
        } else {
            out += char32_t(0xFFFD);
            p += 1;
            continue;
        }
        p += length;
    }
    return out;
}

std::vector<std::pair<std::string, int>> faceFiles(const char* family) {
    std::vector<std::pair<std::string, int>> files;
    if (family) {
        // The game's substitute face travels with the program.
        if (std::string(family) == "IPAPMincho") files.emplace_back(dataFilePath("ipamp.ttf"), 0);
        return files;
    }
    char windows[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return files;
    const std::string fonts = std::string(windows) + "\\Fonts\\";
    files.emplace_back(fonts + "msmincho.ttc", 1);  // MS PMincho
    WIN32_FIND_DATAA found;
    const HANDLE h = FindFirstFileA((fonts + "*.tt?").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return files;
    do files.emplace_back(fonts + found.cFileName, 0);
    while (FindNextFileA(h, &found));
    FindClose(h);
    return files;
}

}  // namespace platform::win32
