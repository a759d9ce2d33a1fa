// Inside the text stand-in: font files opened through FreeType, and the system's way of finding
// one for a request (text_fontconfig.cpp on the desktop, text_face_win32.cpp on Windows,
// text_fontfile.cpp where one face file ships with the program).
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string>

namespace platform::text {

struct Face {
    FT_Face ft = nullptr;
    std::string path;
    int32_t unitsPerEm = 1000;
    int32_t winAscent = 880, winDescent = 120;
    int32_t avgCharWidth = 500;
    bool hasBold = false, hasItalic = false;
};

// Opens a face file once per process and keeps it; null when FreeType cannot use it.
Face* openFaceFile(const std::string& path, int index);

// What a lookup must find: the family itself, a Japanese serif face, or anything at all.
enum class Need { Family, JapaneseSerif, Anything };

// The best face the system offers for the request, opened; null when it offers none that fits.
Face* findFace(const char* family, Need need, bool bold, bool italic);
// Last resort: the first scalable face of any installed file; null where the system has no list.
Face* anyInstalledFace();

}  // namespace platform::text
