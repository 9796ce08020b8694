// playback: what the games' sound engine makes of a cry, as the player hears
// it. Portable: standard library only.
//
// Brevox decodes a sample exactly; the engine does not play it that way. It
// runs once per video frame and mixes 224 output samples a frame (13379 Hz):
// each cry is a one-note sequence held for a mode's number of frames, then
// released; its pitch is shifted, a second detuned voice may join it, some
// modes play the reverse table's entry backwards; the level is scaled by the
// master volume, the channel's volume and pan, and every channel is added,
// wrapping modulo 256, onto an echo of the output 6 and 7 frames earlier.
//
// Usage: CryModes gives a game family's modes (FamilyOfCode reads it from a
// game code); RenderCry plays one entry (its voice byte and the bytes of its
// sample) in a mode and returns the 8-bit output with the figures front ends
// report. The steps are functions of their own (PitchOf, ChannelFrequency,
// ChorusTune, NextLevel, ChannelVolumes, Interpolate) so that each can be
// checked alone.
//
// Error convention: nothing fails and nothing reads past the spans given. A
// sample whose header does not lie inside its span, or that the voice byte
// cannot play, renders as silence (figures.playable false).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The engine runs once per frame of 280,896 cycles of the 16.78 MHz clock
// and mixes 224 samples a frame: 13,378.96 Hz.
constexpr int FrameSamples = 224;
constexpr double FramesPerSecond = 59.7275;
constexpr double MixerRate = FrameSamples * FramesPerSecond;
constexpr uint32_t MixerRateHz = 13379;  // as a WAV file states it

// The mode tables differ between the first two games (AXV*, AXP*), the third
// (BPE*, and any game code the tool does not know) and the last two (BPR*,
// BPG*), whose echo end plays louder.
enum class GameFamily { First, Third, Last };
GameFamily FamilyOfCode(std::string_view gameCode);

// One way the games play a cry: the note is held `length` frames, then its
// level is multiplied by release / 256 each frame until it reaches 0 (0: cut
// at once). `pitch` 15360 plays the sample at its own rate; `chorus`, when
// not 0, adds a second voice tuned chorus / 64 semitone higher; `reverse`
// plays the reverse table's entry.
struct CryMode {
    int number;
    const char* name;  // lower case, hyphens: "normal", "high-pitch", ...
    int length;
    int release;
    int pitch;
    int chorus;
    int volume;  // 0-127
    int pan;     // -64 (left) to 63 (right)
    bool reverse;
};
std::span<const CryMode> CryModes(GameFamily family);
// The mode of that name or number; nullptr when the family has none.
const CryMode* FindCryMode(GameFamily family, std::string_view name);
const CryMode* FindCryMode(GameFamily family, int number);

// An entry as the engine reads it: its voice byte (bit 0x20 compressed,
// 0x10 backwards) and the bytes from its sample's header on (they may run
// on past the sample: the engine reads one value beyond the last).
struct PlayedEntry {
    uint8_t voice = 0;
    std::span<const uint8_t> sample;
};

struct PlaybackOptions {
    int reverb = 50;  // what nearly every piece of music sets; 0-127 (beyond: the nearest), 0 for none
    bool stereo = false;
};
constexpr int MaxReverb = 127;  // from 128 on the echo no longer dies away

// What a render says of the sound as heard.
struct PlaybackFigures {
    bool playable = false;       // the voice byte can play the sample (else silence)
    double secondsStored = 0;    // the sample's own duration, length / rate
    // Until the output falls silent for good: from there on it stays within
    // one step of 0 (the echo's shift leaves -1 where a negative echo dies).
    double secondsHeard = 0;
    bool cut = false;            // the hold or release ended it before the sample's end
    int peak = 0;                // largest |output|, in 8-bit steps (128 for -128)
    uint32_t wrapped = 0;        // output values whose sum wrapped past the 8-bit range
    std::optional<double> rmsDb; // RMS of the heard output against full scale; none for silence
};

struct Playback {
    std::vector<int8_t> samples;  // at MixerRate; stereo interleaves left, right
    PlaybackFigures figures;
};

// Plays `entry` in `mode`. The output runs until the last channel stops
// and, with an echo, until the echo repeats one frame for good.
Playback RenderCry(const PlayedEntry& entry, const CryMode& mode, const PlaybackOptions& options = {});

// The loudness of the cry as heard: the RMS (dB against full scale) of its
// render in the family's normal mode, with the usual echo; none for silence.
std::optional<double> HeardLoudnessDb(const PlayedEntry& entry, GameFamily family);

// --- The steps ---------------------------------------------------------------

// The signed values the engine reads for an entry, one past the length
// field's count included, and the header's rate field. Empty values where
// the voice byte says compressed and the sample is not (the engine plays
// silence); a voice byte that says uncompressed reads any sample's bytes as
// plain values.
struct PlayedValues {
    bool playable = false;
    uint32_t rateField = 0;  // rate x 1024
    uint32_t length = 0;     // the header's length field, as the voice byte's kind reads it
    // The values from the first on: length + 1 of them, fewer where an
    // uncompressed sample's bytes end first (the rest play as 0).
    std::vector<int8_t> values;
};
PlayedValues ValuesPlayed(const PlayedEntry& entry);
// Whether the engine plays an entry of this voice byte backwards.
bool PlaysBackwards(uint8_t voice);
// RenderCry over values already read, so that one reading serves every mode
// that plays the same entry.
Playback RenderValues(const PlayedValues& values, bool backwards, const CryMode& mode,
                      const PlaybackOptions& options = {});

// Where a note in `mode` leaves a sample of `rateField` played forwards, in
// the values its voice (the first, where a chorus adds one) has read by the
// end of the hold and by the time the level reaches 0. A sample of `ended`
// values or more is cut there (figures.cut); a shorter one ends first.
struct NoteReach {
    uint64_t held;   // where the release starts; `ended` too for a release of 0
    uint64_t ended;  // where the note stops
};
NoteReach ReachInMode(uint32_t rateField, const CryMode& mode);

// A mode's pitch as a key (60: the sample's own rate) and a tune in 1/64
// semitone (-64..63): b = pitch + 128, key = b >> 8, tune = ((b & 0xFF) >> 1) - 64.
struct Pitch {
    int key;
    int tune;
};
Pitch PitchOf(int pitch);
// The chorus voice's tune: the tune byte (tune + 64) plus the chorus, kept
// in 7 bits, so 192 wraps to a semitone above.
int ChorusTune(int tune, int chorus);
// The frequency, in whole Hz, a sample of `rateField` plays at with a key
// and tune.
uint32_t ChannelFrequency(uint32_t rateField, Pitch pitch);
// The step through the sample per output sample, with a 23-bit fraction.
uint64_t MixerStep(uint32_t frequency);

// The envelope level of a released note one frame on (full level is 255).
int NextLevel(int level, int release);

// What a channel at envelope `level` adds per unit of sample value, as
// multipliers of (value >> 8) per side, master volume and pan included.
struct ChannelVolumes {
    int right;
    int left;
};
ChannelVolumes ChannelVolumesAt(int level, int volume, int pan);

// Linear interpolation between two neighbouring values, `frac` in 1/2^23.
int Interpolate(int8_t a, int8_t b, uint32_t frac);
