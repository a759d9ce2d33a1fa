// The match: battlefield, turns, wind, aiming, shell flight, craters and victory.
#pragma once

#include <cstdint>

// Ground heights of the three landscapes: the screen row of the ground's top edge at x = 32 * v.
extern const int16_t landscapeProfiles[3][21];

// The match record. A side indexes the pairs: 0 the left fortress (player 1, Space), 1 the right
// fortress (player 2 with Enter, or the computer).
class Match {
public:
    // Top-left corner of each 16 by 16 fortress sprite.
    int32_t fortX[2] = {};
    int32_t fortY[2] = {};
    // Each side's aim in whole degrees: 0 right, 90 up, 180 left.
    int32_t aimAngle[2] = {};
    // Crater radius in pixels; grows in single precision.
    float blastRadius = 0.0f;
    // Wind of the current turn, -20..20; negative blows to the left.
    int32_t wind = 0;

    // Builds the battlefield in slot 2 (sky, stars, ground, fortresses) and sets fortX/fortY.
    void generateBattlefield();
    // Plays one match from the battlefield to a winner or Escape; always returns true.
    bool run();
    // Draws a new wind and shows it at the top of the screen.
    void rollWind();
    // The aiming sweep; false once the side has fired, true when Escape abandoned the match.
    bool aim(int32_t side);
    // Flies the shell and blasts the crater; true when Escape abandoned the match in flight.
    bool flyShell(int32_t side);
    // Announces a fallen fortress and waits for a key; true when the match is over.
    bool checkVictory();
};

extern Match match;

// The game's surface slots beyond the front and back surfaces: slot 2 holds the title picture on
// the title screen and the composed battlefield during a match, slot 3 a blank source for the
// menu's blink and the sprite sheet during a match (slot 4 is opened but never used).
inline constexpr int32_t kPictureSlot = 2, kFieldSlot = 2;
inline constexpr int32_t kBlankSlot = 3, kSpriteSlot = 3;

// Palette indices of the battlefield.
inline constexpr uint8_t kSkyIndex = 4;        // empty space and crater colour
inline constexpr uint8_t kFlashIndex = 240;    // the burst's flash
inline constexpr uint8_t kPassableFrom = 128;  // stars, boxes, aim lines and trails
