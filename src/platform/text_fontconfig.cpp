// Faces through fontconfig. The game asks for one face, which is rarely installed; the caller
// (text_glyphs.cpp) falls back on substitutes when this finds nothing that fits.
#include <fontconfig/fontconfig.h>

#include "platform/text_face.h"

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

namespace platform::text {

namespace {

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

}  // namespace

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

}  // namespace platform::text
