// The heard figures of a table's entries and the warnings of a new sample.
#include "hearing.h"

#include "heard.h"

#include <algorithm>
#include <cmath>

namespace {

// The other modes that hold a cry as long as the normal mode does: they are
// meant to play it whole, so a cut there is heard.
bool HoldsLikeNormal(const CryMode& mode, const CryMode& normal) {
    return mode.number != normal.number && mode.length >= normal.length;
}

std::optional<HeardWarning> RateWarning(const SampleInfo& s, GameFamily family) {
    if (s.Hz() <= MaxUsefulRateHz || !s.format) return std::nullopt;
    // The same duration at the mixer's rate, rounded up (the rate field is rate x 1024).
    const uint64_t scaled = uint64_t{s.length} * MaxUsefulRateHz * 1024;
    const auto values = static_cast<uint32_t>((scaled + s.rateField - 1) / s.rateField);
    HeardWarning w{.code = HeardWarningCode::RateAboveMixer, .family = family};
    w.rateHz = s.Hz();
    w.bytes = SampleBytes(s.format->kind, s.length);
    w.bytesAtMixerRate = SampleBytes(s.format->kind, values);
    return w;
}

}  // namespace

const char* HeardWarningName(HeardWarningCode code) {
    switch (code) {
        case HeardWarningCode::CutInNormal: return "CutInNormal";
        case HeardWarningCode::CutInModes: return "CutInModes";
        case HeardWarningCode::RateAboveMixer: return "RateAboveMixer";
        case HeardWarningCode::WrapsWithChorus: return "WrapsWithChorus";
        case HeardWarningCode::LoudnessOff: return "LoudnessOff";
    }
    return "Unknown";
}

uint8_t CryVoiceByte(SampleKind kind) { return static_cast<uint8_t>(VoiceWord(TableKind::Cry, kind)); }

HeardFigures SampleHeard(std::span<const uint8_t> sample, uint8_t voice, GameFamily family) {
    const PlaybackFigures f = RenderCry({voice, sample}, CryModes(family)[0]).figures;
    return {f.secondsHeard, f.cut, f.rmsDb};
}

std::optional<HeardFigures> EntryHeard(ImageBytes image, const ImageModel& model, int index, GameFamily family) {
    const Entry e = ReadEntry(image, model.table, index);
    if (!e.pointsIntoRom || !InspectSample(image, e.offset).Sound()) return std::nullopt;
    return SampleHeard(image.subspan(e.offset), static_cast<uint8_t>(e.firstWord), family);
}

std::vector<std::optional<HeardFigures>> TableHeard(ImageBytes image, const ImageModel& model, GameFamily family) {
    std::vector<std::optional<HeardFigures>> table(model.HasTable() ? static_cast<size_t>(model.entries) : 0);
    for (size_t i = 0; i < table.size(); ++i) table[i] = EntryHeard(image, model, static_cast<int>(i), family);
    return table;
}

std::optional<double> MedianLoudnessDb(std::span<const std::optional<HeardFigures>> table, std::span<const int> excluding) {
    std::vector<double> loudness;
    for (size_t i = 0; i < table.size(); ++i) {
        const bool left = std::find(excluding.begin(), excluding.end(), static_cast<int>(i)) != excluding.end();
        if (!left && table[i] && table[i]->loudnessDb) loudness.push_back(*table[i]->loudnessDb);
    }
    if (loudness.empty()) return std::nullopt;
    const size_t mid = loudness.size() / 2;
    std::nth_element(loudness.begin(), loudness.begin() + static_cast<std::ptrdiff_t>(mid), loudness.end());
    if (loudness.size() % 2) return loudness[mid];
    const double below = *std::max_element(loudness.begin(), loudness.begin() + static_cast<std::ptrdiff_t>(mid));
    return (below + loudness[mid]) / 2;
}

HeardWarnings WarningsHeard(std::span<const uint8_t> sample, uint8_t voice, GameFamily family,
                            std::optional<double> tableMedianDb, const PlaybackOptions& options) {
    HeardWarnings warnings;
    const PlayedValues values = ValuesPlayed({voice, sample});
    if (!values.playable) return warnings;
    const std::span<const CryMode> modes = CryModes(family);
    const CryMode& normal = modes[0];
    // One reading serves every mode; the reverse modes play the reverse
    // entry, which in step holds the same sample, backwards.
    const PlaybackFigures heard = RenderValues(values, false, normal, options).figures;
    if (heard.cut) {
        HeardWarning w{.code = HeardWarningCode::CutInNormal, .family = family};
        w.secondsStored = heard.secondsStored;
        w.secondsHeard = heard.secondsHeard;
        warnings.push_back(w);
    }
    HeardWarning cut{.code = HeardWarningCode::CutInModes, .family = family}, wraps{.code = HeardWarningCode::WrapsWithChorus, .family = family};
    for (const CryMode& m : modes) {
        const bool holds = HoldsLikeNormal(m, normal);
        if (!holds && m.chorus == 0) continue;
        const PlaybackFigures f = RenderValues(values, m.reverse, m, options).figures;
        if (holds && f.cut) cut.modes.push_back(m.number);
        if (m.chorus != 0 && f.wrapped > 0) {
            wraps.modes.push_back(m.number);
            wraps.wrapped = std::max(wraps.wrapped, f.wrapped);
        }
    }
    if (!cut.modes.empty()) warnings.push_back(cut);
    if (const std::optional<HeardWarning> rate = RateWarning(InspectSample(sample, 0), family)) warnings.push_back(*rate);
    if (!wraps.modes.empty()) warnings.push_back(wraps);
    if (tableMedianDb && heard.rmsDb && std::abs(*heard.rmsDb - *tableMedianDb) > LoudnessOffDb) {
        HeardWarning w{.code = HeardWarningCode::LoudnessOff, .family = family};
        w.loudnessDb = *heard.rmsDb;
        w.medianDb = *tableMedianDb;
        warnings.push_back(w);
    }
    return warnings;
}

HeardCry HearNewSample(std::span<const uint8_t> sample, SampleKind kind, std::span<const uint8_t> input,
                       uint32_t rateField, GameFamily family, std::optional<double> tableMedianDb) {
    const uint8_t voice = CryVoiceByte(kind);
    return {HeardSnrDb(PerfectValues(input, rateField), ValuesPlayed({voice, sample}), family),
            WarningsHeard(sample, voice, family, tableMedianDb)};
}

namespace {

PlayedEntry EntryAt(ImageBytes image, uint32_t table, int index) {
    const Entry e = ReadEntry(image, table, index);
    if (!e.pointsIntoRom) return {static_cast<uint8_t>(e.firstWord), {}};
    return {static_cast<uint8_t>(e.firstWord), image.subspan(e.offset)};
}

}  // namespace

PlayedEntry EntryPlayed(ImageBytes image, const ImageModel& model, int index, const CryMode& mode,
                        std::optional<bool>* reverseInStep) {
    const PlayedEntry cry = EntryAt(image, model.table, index);
    if (!mode.reverse) return cry;
    if (!model.reverse || index >= model.reverseEntries)
        return {static_cast<uint8_t>(cry.voice | ReverseVoiceBit), cry.sample};
    if (reverseInStep) *reverseInStep = ReverseInStep(image, model, index);
    return EntryAt(image, *model.reverse, index);
}
