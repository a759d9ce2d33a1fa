// The system's own texts, as the Shift-JIS (code page 932) bytes the program draws and shows.
// Each comment gives the text in UTF-8.
#pragma once

// DirectDrawを初期化出来ません(;;  (DirectDraw cannot be initialised)
inline constexpr char kTextDirectDrawFailed[] =
    "DirectDraw\x82\xF0\x8F\x89\x8A\xFA\x89\xBB\x8Fo\x97\x88\x82\xDC\x82\xB9\x82\xF1(;;";
// エラーが発生したらしい(^^;  (caption: an error seems to have occurred)
inline constexpr char kTextErrorCaption[] =
    "\x83G\x83\x89\x81[\x82\xAA\x94\xAD\x90\xB6\x82\xB5\x82\xBD\x82\xE7\x82\xB5\x82\xA2(^^;";
// %s ファイルが見つかりません  (file not found, after the file name (a format))
inline constexpr char kTextFileNotFound[] =
    "%s \x83t\x83@\x83"
    "C\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// font  (a font that cannot be created)
inline constexpr char kTextFont[] = "font";
// Ｊｕｓｔ　ａ　ｍｏｍｅｎｔ．．．  (shown while the battlefield is built)
inline constexpr char kTextJustAMoment[] =
    "\x82i\x82\x95\x82\x93\x82\x94\x81@\x82\x81\x81@"
    "\x82\x8D\x82\x8F\x82\x8D\x82\x85\x82\x8E\x82\x94\x81"
    "D\x81"
    "D\x81"
    "D";
// 風向き：無し  (wind direction: none)
inline constexpr char kTextWindNone[] =
    "\x95\x97\x8C\xFC\x82\xAB\x81"
    "F\x96\xB3\x82\xB5";
// 風向き：←　風力：%d  (wind direction: left; strength (a format))
inline constexpr char kTextWindLeft[] =
    "\x95\x97\x8C\xFC\x82\xAB\x81"
    "F\x81\xA9\x81@\x95\x97\x97\xCD\x81"
    "F%d";
// 風向き：→　風力：%d  (wind direction: right; strength (a format))
inline constexpr char kTextWindRight[] =
    "\x95\x97\x8C\xFC\x82\xAB\x81"
    "F\x81\xA8\x81@\x95\x97\x97\xCD\x81"
    "F%d";
// Computer Win!
inline constexpr char kTextComputerWin[] = "Computer Win!";
// %d Player Win!  ((a format))
inline constexpr char kTextPlayerWin[] = "%d Player Win!";
// ＭＳ Ｐ明朝  (the game's font face)
inline constexpr char kFontFace[] = "\x82l\x82r \x82o\x96\xBE\x92\xA9";
