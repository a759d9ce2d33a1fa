#!/usr/bin/python3
"""Cuts the desktop's Japanese face down to the characters the game draws, for the web build.

    tools/subset_font.py SOURCE.ttf TEXTS.h OUT_DIR

Keeps printable ASCII (numbers and names go through printf) and every character of the game's
own texts (the Shift-JIS literals of TEXTS.h), with outlines and hinting untouched so that FreeType
draws exactly the desktop's pixels. The result is renamed, as the font's licence requires of a
derived font, and written with the licence and how to put the original back.
"""
import ast, re, sys, pathlib
from fontTools import subset
from fontTools.ttLib import TTFont

FAMILY = "Varnis P Mincho"
FILE = "varnis-pmincho.ttf"
COPYRIGHT = "/usr/share/doc/fonts-ipafont-mincho/copyright"

def game_characters(texts_h):
    chars = {chr(c) for c in range(0x20, 0x7F)}
    literal = r'"(?:[^"\\]|\\.)*"'
    text = pathlib.Path(texts_h).read_text()
    # Each text's initialiser: adjacent C literals, over as many lines as the formatting takes.
    for m in re.finditer(r'=\s*((?:' + literal + r'\s*)+);', text):
        # Each literal escaped as C does (\xNN ends at the literal's end).
        raw = b"".join(ast.literal_eval("b" + lit) for lit in re.findall(literal, m.group(1)))
        chars |= set(raw.decode("cp932"))
    return "".join(sorted(chars))

def main(source, texts_h, out_dir):
    out = pathlib.Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    options = subset.Options()
    options.hinting = True
    options.layout_features = []
    options.name_IDs = []  # the original's names are all replaced below
    options.notdef_outline = True
    font = TTFont(source)
    sub = subset.Subsetter(options)
    sub.populate(text=game_characters(texts_h))
    sub.subset(font)
    name = font["name"]
    for rec in list(name.names):
        name.removeNames(nameID=rec.nameID)
    notice = ("Derived from a font under the IPA Font License Agreement v1.0; "
              "see varnis-pmincho-LICENSE.txt")
    for nid, text in {0: notice, 1: FAMILY, 2: "Regular", 3: FAMILY + " subset",
                      4: FAMILY, 6: "VarnisPMincho", 13: notice}.items():
        name.setName(text, nid, 3, 1, 0x409)
    if "CFF " in font:
        font["CFF "].cff.fontNames = ["VarnisPMincho"]
    font.save(out / FILE)
    licence = pathlib.Path(COPYRIGHT).read_text()
    start = licence.index("License: IPA-1")
    (out / "varnis-pmincho-LICENSE.txt").write_text(
        f"{FILE} holds only the characters Varnis draws, cut from IPA P Mincho (ipamp.ttf, Debian\n"
        "package fonts-ipafont-mincho) with fontTools' subsetter; outlines and hinting are unchanged,\n"
        "the names are new. It is a Derived Program under the licence below.\n\n"
        "To put the original back: install fonts-ipafont-mincho (or download IPA P Mincho from\n"
        "https://moji.or.jp/ipafont/) and copy ipamp.ttf over varnis-pmincho.ttf. The program by which\n"
        "this subset was made is tools/subset_font.py in the Varnis sources.\n\n" + licence[start:])

if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
