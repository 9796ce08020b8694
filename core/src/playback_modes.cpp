// The cry modes of each game family and how a game code picks its family.
#include <algorithm>

#include "playback.h"

namespace {

// Faint plays on the side of the creature that faints: -25 for the player's,
// +25 for the opponent's, the one heard most; every other cry in the middle.
constexpr int FaintPan = 25;

// The third game's modes; the last two games' differ in echo end's volume.
// number, name, length (frames), release, pitch, chorus, volume, pan, reverse
constexpr CryMode ThirdModes[] = {
    {0, "normal", 140, 0, 15360, 0, 120, 0, false},
    {1, "doubles", 20, 225, 15360, 0, 120, 0, false},
    {2, "encounter", 140, 225, 15600, 20, 90, 0, false},
    {3, "high-pitch", 50, 200, 15800, 20, 90, 0, false},
    {4, "echo-start", 25, 100, 15600, 192, 90, 0, true},
    {5, "faint", 140, 200, 14440, 0, 120, FaintPan, false},
    {6, "echo-end", 140, 220, 15555, 192, 70, 0, false},
    {7, "roar-1", 10, 100, 14848, 0, 120, 0, false},
    {8, "roar-2", 60, 225, 15616, 0, 120, 0, false},
    {9, "growl-1", 15, 125, 15200, 0, 120, 0, true},
    {10, "growl-2", 100, 225, 15200, 0, 120, 0, false},
    {11, "weak", 140, 0, 15000, 0, 120, 0, false},
    {12, "weak-doubles", 20, 225, 15000, 0, 120, 0, false},
};

constexpr CryMode LastModes[] = {
    ThirdModes[0], ThirdModes[1], ThirdModes[2], ThirdModes[3], ThirdModes[4],
    ThirdModes[5], {6, "echo-end", 140, 220, 15555, 192, 90, 0, false},
    ThirdModes[7], ThirdModes[8], ThirdModes[9], ThirdModes[10], ThirdModes[11],
    ThirdModes[12],
};

// The first two games: six modes at a default volume of 125, none of them
// playing the reverse table.
constexpr CryMode FirstModes[] = {
    {0, "normal", 140, 0, 15360, 0, 125, 0, false},
    {1, "doubles", 20, 225, 15360, 0, 125, 0, false},
    {2, "encounter", 30, 225, 15600, 20, 80, 0, false},
    {3, "high-pitch", 50, 200, 14800, 0, 125, 0, false},
    {4, "echo-start", 20, 220, 15800, 0, 125, 0, false},
    {5, "faint", 140, 200, 14500, 0, 125, FaintPan, false},
};

}  // namespace

GameFamily FamilyOfCode(std::string_view gameCode) {
    const std::string_view game = gameCode.substr(0, 3);
    if (game == "AXV" || game == "AXP") return GameFamily::First;
    if (game == "BPR" || game == "BPG") return GameFamily::Last;
    return GameFamily::Third;
}

std::span<const CryMode> CryModes(GameFamily family) {
    switch (family) {
        case GameFamily::First: return FirstModes;
        case GameFamily::Last: return LastModes;
        case GameFamily::Third: break;
    }
    return ThirdModes;
}

const CryMode* FindCryMode(GameFamily family, std::string_view name) {
    const std::span<const CryMode> modes = CryModes(family);
    const auto it = std::find_if(modes.begin(), modes.end(), [&](const CryMode& m) { return name == m.name; });
    return it == modes.end() ? nullptr : &*it;
}

const CryMode* FindCryMode(GameFamily family, int number) {
    const std::span<const CryMode> modes = CryModes(family);
    return number >= 0 && number < static_cast<int>(modes.size()) ? &modes[static_cast<size_t>(number)] : nullptr;
}
