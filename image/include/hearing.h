// What the player hears of an image's cries, and what a new sample should
// warn of before it is written: a cry the game cuts short, bytes spent on a
// rate the mixer does not play, sums that wrap when a mode plays it with its
// chorus voice, a cry far louder or quieter than the rest of the table. The
// figures come from the playback model (playback.h); front ends word the
// codes.
//
// Usage: EntryHeard gives one entry's figures (TableHeard every entry's, one
// after the other; front ends with threads call EntryHeard on each),
// MedianLoudnessDb the table's typical loudness, HeardWarnings what a new
// sample should warn of.
//
// Error convention: nothing fails. An entry that holds no sound has no
// figures; a new sample whose bytes are no sample warns of nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image.h"
#include "playback.h"

// Past this rate a sample's bytes buy nothing the game plays: the mixer
// runs at 13379 Hz and plays no detail above half of it.
constexpr uint32_t MaxUsefulRateHz = MixerRateHz;
// A cry whose loudness lies further than this from the table's median
// stands out among the others.
constexpr double LoudnessOffDb = 6;

// One entry as heard in the family's normal mode, with the usual echo.
struct HeardFigures {
    double secondsHeard = 0;
    bool cut = false;                  // the hold ends it before the sample's end
    std::optional<double> loudnessDb;  // RMS against full scale; none for silence
};
// A sample (MakeSample's bytes) played from an entry of voice byte `voice`.
HeardFigures SampleHeard(std::span<const uint8_t> sample, uint8_t voice, GameFamily family);
// Nothing for an entry that points at no sound.
std::optional<HeardFigures> EntryHeard(ImageBytes image, const ImageModel& model, int index, GameFamily family);
// Every entry of the table in use, in index order (none without a table).
std::vector<std::optional<HeardFigures>> TableHeard(ImageBytes image, const ImageModel& model, GameFamily family);

// The median loudness of the table's cries, leaving out the entries in
// `excluding` and the silent; none when none is left. A new sample is heard
// against the table as the edit leaves it: the new samples' figures in place
// of those they replace, its own left out.
std::optional<double> MedianLoudnessDb(std::span<const std::optional<HeardFigures>> table,
                                       std::span<const int> excluding = {});

// What a new sample should warn of, as the game will play it.
enum class HeardWarningCode {
    CutInNormal,      // secondsStored, secondsHeard: the normal mode's hold cuts it
    CutInModes,       // modes: other modes that hold a cry as long as normal does, and cut it too
    RateAboveMixer,   // rateHz, bytes, bytesAtMixerRate: what the rate costs over 13379 Hz
    WrapsWithChorus,  // modes, wrapped: modes whose chorus voice makes the sums wrap (crackle)
    LoudnessOff,      // loudnessDb, medianDb: further than LoudnessOffDb from the table's median
};
// The code's name, as machine output spells it ("CutInNormal").
const char* HeardWarningName(HeardWarningCode code);

// Only the fields its code names are set.
struct HeardWarning {
    HeardWarningCode code;
    GameFamily family = GameFamily::Third;  // whose modes `modes` numbers
    double secondsStored = 0, secondsHeard = 0;
    std::vector<int> modes = {};  // mode numbers of the family (FindCryMode)
    uint32_t rateHz = 0;
    uint32_t bytes = 0, bytesAtMixerRate = 0;
    uint32_t wrapped = 0;  // the most output values that wrapped in one mode
    double loudnessDb = 0, medianDb = 0;
};
using HeardWarnings = std::vector<HeardWarning>;

// The voice byte of a cry-table entry whose sample is of `kind`.
uint8_t CryVoiceByte(SampleKind kind);

// What `sample` (MakeSample's bytes), played from an entry of voice byte
// `voice`, should warn of in `family`; the loudness only against a table's
// median, when one is given. `options` is the echo it is heard with (the
// usual one by default; at that echo the modes' chorus volumes leave room
// for two full-scale voices, so only a stronger echo makes them wrap).
HeardWarnings WarningsHeard(std::span<const uint8_t> sample, uint8_t voice, GameFamily family,
                            std::optional<double> tableMedianDb, const PlaybackOptions& options = {});

// A new sample (of `kind`) as the game will play it: the SNR of its heard
// render against that of a perfect sample of `input` (the unsigned values it
// was made from, at `rateField`), and what it warns of, its loudness against
// `tableMedianDb` when there is one.
struct HeardCry {
    std::optional<double> snrDb;
    HeardWarnings warnings;
};
HeardCry HearNewSample(std::span<const uint8_t> sample, SampleKind kind, std::span<const uint8_t> input,
                       uint32_t rateField, GameFamily family, std::optional<double> tableMedianDb);

// What the engine plays of entry `index` of the table in use in `mode`: the
// cry's entry, or in a mode that plays the reverse table, that table's entry
// (its own sample backwards when the image has none, or none that far);
// `reverseInStep`, when given, says whether that reverse entry points at the
// cry's sample. The sample's span runs to the image's end.
PlayedEntry EntryPlayed(ImageBytes image, const ImageModel& model, int index, const CryMode& mode,
                        std::optional<bool>* reverseInStep = nullptr);
