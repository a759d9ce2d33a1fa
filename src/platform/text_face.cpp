#include "platform/text_face.h"

#include FT_TRUETYPE_TABLES_H

#include <map>
#include <memory>

namespace platform::text {

namespace {

FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

}  // namespace

Face* openFaceFile(const std::string& path, int index) {
    static std::map<std::pair<std::string, int>, std::unique_ptr<Face>> files;
    const auto key = std::make_pair(path, index);
    if (auto it = files.find(key); it != files.end()) return it->second.get();
    Face* result = nullptr;
    FT_Face ft = nullptr;
    if (library() && FT_New_Face(library(), path.c_str(), index, &ft) == 0) {
        if (FT_IS_SCALABLE(ft) && ft->units_per_EM > 0) {
            auto f = std::make_unique<Face>();
            f->ft = ft;
            f->path = path;
            f->unitsPerEm = ft->units_per_EM;
            f->winAscent = ft->ascender;
            f->winDescent = -ft->descender;
            f->avgCharWidth = ft->units_per_EM / 2;
            if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2))) {
                if (os2->usWinAscent + os2->usWinDescent > 0) {
                    f->winAscent = os2->usWinAscent;
                    f->winDescent = os2->usWinDescent;
                }
                if (os2->xAvgCharWidth > 0) f->avgCharWidth = os2->xAvgCharWidth;
            }
            if (f->winAscent + f->winDescent <= 0) {
                f->winAscent = ft->units_per_EM * 86 / 100;
                f->winDescent = ft->units_per_EM - f->winAscent;
            }
            f->hasBold = (ft->style_flags & FT_STYLE_FLAG_BOLD) != 0;
            f->hasItalic = (ft->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
            result = f.get();
            files.emplace(key, std::move(f));
        } else {
            FT_Done_Face(ft);
        }
    }
    if (!result) files.emplace(key, nullptr);  // remember the failure too
    return result;
}

}  // namespace platform::text
