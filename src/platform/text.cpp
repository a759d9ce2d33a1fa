// Faces through fontconfig, monochrome glyphs through FreeType, Shift-JIS through iconv.
//
// The game asks for one face, "ＭＳ Ｐ明朝", which is rarely installed. When fontconfig does not
// have the requested face itself, a substitute stands in: IPAPMincho, then any Japanese serif
// face, then any face at all. A substitute is sized with the vertical metrics of the face it
// replaces (ascent + descent = em, baseline at 0.86 of the cell), so texts are placed and centred
// as they were designed; sized by its own metrics it would come out about 9% too small.
#include "platform/text.h"

#if defined(VARNIS_FONT_FILE)
#include "platform/datafile.h"
#elif defined(_WIN32)
#include "platform/win32/win32.h"
#else
#include <fontconfig/fontconfig.h>
#endif
#ifndef _WIN32
#include <iconv.h>
#endif
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

// GCC announces AddressSanitizer with __SANITIZE_ADDRESS__, clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define VARNIS_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNIS_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(VARNIS_ADDRESS_SANITIZER)
// Debian's fontconfig loses a few hundred bytes while it parses its configuration files, once per
// process; the leak checker of the sanitizer build is told to overlook that library's leaks.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace platform {

// ---- Shift-JIS -----------------------------------------------------------------------------

#ifdef _WIN32
std::u32string decodeShiftJis(const char* sjis) { return win32::decodeShiftJis(sjis); }
#else
std::u32string decodeShiftJis(const char* sjis) {
    std::u32string out;
    if (!sjis) return out;
    // Some C libraries know code page 932 only by its JIS name.
    static iconv_t cd = [] {
        iconv_t c = iconv_open("UTF-32LE", "CP932");
        return c != iconv_t(-1) ? c : iconv_open("UTF-32LE", "SHIFT_JIS");
    }();
    const size_t len = std::strlen(sjis);
    if (cd == iconv_t(-1)) {
        // No converter: pass ASCII through, everything else is unknown.
        for (size_t i = 0; i < len; ++i) {
            const auto b = uint8_t(sjis[i]);
            out += b < 0x80 ? char32_t(b) : char32_t(0xFFFD);
        }
        return out;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(sjis);
    size_t inLeft = len;
    char buf[256];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        const size_t produced = size_t(o - buf);
        for (size_t i = 0; i + 4 <= produced; i += 4) {
            const auto* u = reinterpret_cast<const uint8_t*>(buf + i);
            out += char32_t(u[0] | u[1] << 8 | u[2] << 16 | uint32_t(u[3]) << 24);
        }
        if (r == size_t(-1) && errno != E2BIG) {
            // An undecodable or truncated sequence: U+FFFD for its first byte, then carry on.
            out += char32_t(0xFFFD);
            ++in;
            --inLeft;
        }
    }
    return out;
}
#endif

// ---- Faces ---------------------------------------------------------------------------------

namespace {

struct Face {
    FT_Face ft = nullptr;
    std::string path;
    int32_t unitsPerEm = 1000;
    int32_t winAscent = 880, winDescent = 120;
    int32_t avgCharWidth = 500;
    bool hasBold = false, hasItalic = false;
};

FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

// Each face file is opened once per process and kept.
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

enum class Need { Family, JapaneseSerif, Anything };

#if defined(VARNIS_FONT_FILE)
// Without fontconfig (the web build) one face file, found among the data files, stands in for
// every request, as a substitute: what fontconfig would have chosen on the desktop.
Face* findFace(const char*, Need need, bool, bool) {
    return need == Need::Family ? nullptr : openFaceFile(dataFilePath(VARNIS_FONT_FILE), 0);
}
Face* anyInstalledFace() { return nullptr; }
#elif defined(_WIN32)
// Without fontconfig the candidates are files: the substitute beside the program, the system's.
Face* findFace(const char* family, Need need, bool, bool) {
    for (const auto& [path, index] : win32::faceFiles(need == Need::Family ? family : nullptr))
        if (Face* face = openFaceFile(path, index)) return face;
    return nullptr;
}
Face* anyInstalledFace() { return nullptr; }
#else
bool fontconfigReady() {
    static const bool ok = FcInit() == FcTrue;
    return ok;
}

bool familyMatches(FcPattern* match, const char* family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
        if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0) return true;
    return false;
}

// The best face fontconfig offers for the request, opened; null when it offers none that fits.
Face* findFace(const char* family, Need need, bool bold, bool italic) {
    if (!fontconfigReady()) return nullptr;
    FcPattern* p = FcPatternCreate();
    if (!p) return nullptr;
    if (family) FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    if (need == Need::JapaneseSerif) {
        if (FcLangSet* ls = FcLangSetCreate()) {
            FcLangSetAdd(ls, reinterpret_cast<const FcChar8*>("ja"));
            FcPatternAddLangSet(p, FC_LANG, ls);
            FcLangSetDestroy(ls);
        }
    }
    FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(p, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, p, &result);
    FcPatternDestroy(p);
    if (!match) return nullptr;

    Face* face = nullptr;
    bool fits = true;
    if (need == Need::Family) fits = familyMatches(match, family);
    if (need == Need::JapaneseSerif) {
        FcLangSet* ls = nullptr;
        fits = FcPatternGetLangSet(match, FC_LANG, 0, &ls) == FcResultMatch &&
               FcLangSetHasLang(ls, reinterpret_cast<const FcChar8*>("ja")) != FcLangDifferentLang;
    }
    FcChar8* file = nullptr;
    int index = 0;
    if (fits && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        face = openFaceFile(reinterpret_cast<const char*>(file), index);
    }
    FcPatternDestroy(match);
    return face;
}

// Last resort: the first scalable face of any installed file that FreeType can open.
Face* anyInstalledFace() {
    if (!fontconfigReady()) return nullptr;
    FcPattern* p = FcPatternCreate();
    FcObjectSet* os = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
    FcFontSet* set = (p && os) ? FcFontList(nullptr, p, os) : nullptr;
    Face* face = nullptr;
    for (int i = 0; set && i < set->nfont && !face; ++i) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
        FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
        face = openFaceFile(reinterpret_cast<const char*>(file), index);
    }
    if (set) FcFontSetDestroy(set);
    if (os) FcObjectSetDestroy(os);
    if (p) FcPatternDestroy(p);
    return face;
}
#endif

struct Resolved {
    Face* face = nullptr;
    bool substitute = false;
};

// Face lookups are slow (fontconfig walks its whole cache), so each request is resolved once.
Resolved resolveFace(const std::string& family, bool bold, bool italic) {
    static std::map<std::tuple<std::string, bool, bool>, Resolved> resolved;
    const auto key = std::make_tuple(family, bold, italic);
    if (auto it = resolved.find(key); it != resolved.end()) return it->second;
    Resolved r;
    if (!family.empty()) r.face = findFace(family.c_str(), Need::Family, bold, italic);
    if (!r.face) {
        r.substitute = true;
        r.face = findFace("IPAPMincho", Need::Family, bold, italic);
        if (!r.face) r.face = findFace("serif", Need::JapaneseSerif, bold, italic);
        if (!r.face) r.face = findFace(nullptr, Need::Anything, bold, italic);
        if (!r.face) r.face = anyInstalledFace();
    }
    if (r.face) resolved.emplace(key, r);  // a failure is retried: fonts may yet be installed
    return r;
}

struct Glyph {
    int32_t advance = 0;
    int32_t left = 0, top = 0;  // bitmap origin relative to the pen on the baseline (y up)
    int32_t width = 0, rows = 0;
    std::vector<uint8_t> bits;  // rows * width, 1 where the glyph covers the pixel
};

}  // namespace

// One face at one size and style, with the glyphs rendered so far.
struct Strike {
    Face* face = nullptr;
    bool substitute = false;
    int32_t emX = 0, emY = 0;
    int32_t cell = 0, baseline = 0;
    bool bold = false, italic = false;
    std::unordered_map<char32_t, Glyph> glyphs;

    const Glyph& glyph(char32_t c);
};

const Glyph& Strike::glyph(char32_t c) {
    if (auto it = glyphs.find(c); it != glyphs.end()) return it->second;
    Glyph g;
    FT_Face ft = face->ft;
    // Strikes share the face; the size is set again for every glyph rendered.
    if (FT_Set_Pixel_Sizes(ft, FT_UInt(emX), FT_UInt(emY)) == 0) {
        const FT_UInt index = FT_Get_Char_Index(ft, FT_ULong(c));
        const FT_Int32 flags = FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO;
        if ((FT_Load_Glyph(ft, index, flags) == 0 ||
             (index != 0 && FT_Load_Glyph(ft, 0, flags) == 0)) &&
            ft->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_GlyphSlot slot = ft->glyph;
            g.advance = int32_t((slot->advance.x + 32) >> 6);
            if (bold) {
                FT_Outline_Embolden(&slot->outline, FT_Pos(emY) * 64 / 24);
                g.advance += 1;
            }
            if (italic) {
                FT_Matrix shear{0x10000, 0x4000, 0, 0x10000};  // x += 0.25 * y
                FT_Outline_Transform(&slot->outline, &shear);
            }
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0 &&
                slot->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                const FT_Bitmap& bm = slot->bitmap;
                g.left = slot->bitmap_left;
                g.top = slot->bitmap_top;
                g.width = int32_t(bm.width);
                g.rows = int32_t(bm.rows);
                g.bits.assign(size_t(g.width) * size_t(g.rows), 0);
                const int32_t stride = bm.pitch < 0 ? -bm.pitch : bm.pitch;
                for (int32_t r = 0; r < g.rows; ++r) {
                    const uint8_t* row =
                        bm.buffer + size_t(bm.pitch < 0 ? g.rows - 1 - r : r) * size_t(stride);
                    for (int32_t col = 0; col < g.width; ++col)
                        g.bits[size_t(r) * size_t(g.width) + size_t(col)] =
                            (row[col >> 3] >> (7 - (col & 7))) & 1;
                }
            }
        }
    }
    return glyphs.emplace(c, std::move(g)).first->second;
}

namespace {

// Sizes beyond this are clamped: a glyph bitmap grows with the square of the size.
constexpr int32_t kMaxPixels = 2048;

int32_t clampSize(int64_t v) { return int32_t(std::clamp<int64_t>(v, 1, kMaxPixels)); }
int32_t roundDiv(int64_t num, int64_t den) {
    return den > 0 ? int32_t((num + den / 2) / den) : 0;
}

std::shared_ptr<Strike> strikeFor(const Resolved& r, int32_t height, int32_t width, bool bold,
                                  bool italic) {
    const Face& f = *r.face;
    if (height == 0) height = kDefaultTextHeight;
    const int64_t h = std::clamp<int64_t>(height, -kMaxPixels, kMaxPixels);
    const int64_t sum = f.winAscent + f.winDescent;
    int32_t em, cell, baseline;
    if (r.substitute) {
        // The replaced face's own metrics: ascent + descent = em, ascent 0.86 em.
        em = cell = int32_t(h < 0 ? -h : h);
        baseline = int32_t(std::lround(0.86 * cell));
    } else if (h > 0) {
        cell = int32_t(h);
        em = clampSize(roundDiv(h * f.unitsPerEm, sum));
        baseline = roundDiv(h * f.winAscent, sum);
    } else {
        em = int32_t(-h);
        cell = clampSize(roundDiv(-h * sum, f.unitsPerEm));
        baseline = roundDiv(-h * f.winAscent, f.unitsPerEm);
    }
    const int32_t emX =
        width > 0 ? clampSize(roundDiv(int64_t(width) * f.unitsPerEm, f.avgCharWidth)) : em;
    const bool synthBold = bold && !f.hasBold;
    const bool synthItalic = italic && !f.hasItalic;

    using Key = std::tuple<const Face*, int32_t, int32_t, int32_t, int32_t, bool, bool, bool>;
    static std::map<Key, std::shared_ptr<Strike>> strikes;
    const Key key{&f, emX, em, cell, baseline, synthBold, synthItalic, r.substitute};
    if (auto it = strikes.find(key); it != strikes.end()) return it->second;
    if (strikes.size() >= 64) strikes.clear();  // fonts in use keep their strike alive
    auto s = std::make_shared<Strike>();
    s->face = r.face;
    s->substitute = r.substitute;
    s->emX = emX;
    s->emY = em;
    s->cell = cell;
    s->baseline = baseline;
    s->bold = synthBold;
    s->italic = synthItalic;
    strikes.emplace(key, s);
    return s;
}

}  // namespace

std::string encodeUtf8(const std::u32string& text) {
    std::string out;
    for (const char32_t c : text) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// ---- TextFont ------------------------------------------------------------------------------

bool TextFont::open(const char* face, int32_t height, int32_t width, int32_t weight,
                    bool italic) {
    strike_.reset();
    std::string family;
    if (face && *face) {
        family = encodeUtf8(decodeShiftJis(face));  // fontconfig takes UTF-8 names
    }
    const bool bold = weight >= 600;
    const Resolved r = resolveFace(family, bold, italic);
    if (!r.face) return false;
    strike_ = strikeFor(r, height, width, bold, italic);
    return true;
}

int32_t TextFont::cellHeight() const { return strike_ ? strike_->cell : 0; }
int32_t TextFont::baseline() const { return strike_ ? strike_->baseline : 0; }

int32_t TextFont::measure(const std::u32string& text) {
    if (!strike_) return 0;
    int64_t w = 0;
    for (char32_t c : text) w += strike_->glyph(c).advance;
    return int32_t(std::min<int64_t>(w, INT32_MAX));
}

void TextFont::draw(Surface& surface, int32_t x, int32_t y, const std::u32string& text,
                    uint8_t index) {
    if (!strike_) return;
    const int64_t sw = surface.width(), sh = surface.height(), pitch = surface.pitch();
    uint8_t* pixels = surface.data();
    const int64_t baseY = int64_t(y) + strike_->baseline;
    int64_t pen = x;
    bool wrote = false;
    for (char32_t c : text) {
        const Glyph& g = strike_->glyph(c);
        const int64_t gx = pen + g.left, gy = baseY - g.top;
        pen += g.advance;
        // The part of the glyph's bitmap that lies on the surface.
        const int64_t r0 = std::max<int64_t>(0, -gy), r1 = std::min<int64_t>(g.rows, sh - gy);
        const int64_t c0 = std::max<int64_t>(0, -gx), c1 = std::min<int64_t>(g.width, sw - gx);
        for (int64_t r = r0; r < r1; ++r) {
            const uint8_t* src = g.bits.data() + r * g.width;
            uint8_t* dst = pixels + (gy + r) * pitch + gx;
            for (int64_t col = c0; col < c1; ++col)
                if (src[col]) {
                    dst[col] = index;
                    wrote = true;
                }
        }
    }
    if (wrote) surface.markWritten();
}

const std::string& TextFont::fileName() const {
    static const std::string none;
    return strike_ ? strike_->face->path : none;
}
bool TextFont::substitute() const { return strike_ && strike_->substitute; }
bool TextFont::syntheticBold() const { return strike_ && strike_->bold; }
bool TextFont::syntheticItalic() const { return strike_ && strike_->italic; }

}  // namespace platform
