// The games' playback of a cry: reading the sample as the voice byte says,
// the pitch, the envelope, the gain, and the mixer with its echo.
#include "playback.h"

#include <algorithm>
#include <cmath>

#include "samplekind.h"

namespace {

constexpr uint8_t CompressedVoice = 0x20;  // voice byte: the sample is compressed
constexpr uint8_t BackwardsVoice = 0x10;   // voice byte: the reverse table's, played backwards
constexpr uint8_t SignFlip = 0x80;         // unsigned decoded value <-> signed played value

constexpr int OwnKey = 60;        // the key that plays a sample at its own rate
constexpr int TuneCentre = 64;    // a tune byte of 64 is no shift
constexpr int TuneMask = 0x7F;    // tune bytes are 7 bits
constexpr int FineSteps = 256;    // the frequency's fine adjustment, per semitone
constexpr int FullLevel = 255;    // the envelope's level when a note starts
constexpr int MasterVolume = 12;  // of 15, as every game sets it
constexpr int FracBits = 23;      // the mixer position's fraction
constexpr uint32_t StepPerHz = 627;  // step = freq * 627 / 2^23, about freq / 13379

// The echo reads the output of the same position this many frames earlier.
constexpr int EchoFar = 7, EchoNear = 6;
constexpr int EchoShift = 9;
// A render stops here whatever the echo does; no mode's hold and release
// come near it.
constexpr int MaxFrames = 60 * 60;

// The played values in play order: forwards from the first, or backwards
// from value length - 1. Past either end they read 0.
struct PlayOrder {
    const std::vector<int8_t>& values;
    int64_t length;
    bool backwards;

    int At(int64_t i) const {
        const int64_t index = backwards ? length - 1 - i : i;
        return index >= 0 && index < static_cast<int64_t>(values.size()) ? values[static_cast<size_t>(index)] : 0;
    }
};

struct Voice {
    uint64_t position = 0;  // in values, with a 23-bit fraction
    uint64_t step = 0;
    bool active = true;
};

int8_t Wrap(int sum) { return static_cast<int8_t>(static_cast<uint8_t>(sum & 0xFF)); }

// What one frame adds to the output and what the render has seen so far.
struct Mixer {
    const PlayOrder& order;
    const PlaybackOptions& options;
    std::vector<Voice> voices;
    std::vector<int8_t> out;   // every frame so far; stereo interleaves left, right
    uint32_t wrapped = 0;
    // The last frame a voice played in or that differs from the one before
    // (silence before the first).
    int lastChange = -1;
    size_t playedSamples = 0;  // output positions up to the last one a voice played

    int Sides() const { return options.stereo ? 2 : 1; }
    bool AnyActive() const {
        return std::any_of(voices.begin(), voices.end(), [](const Voice& v) { return v.active; });
    }

    // The echo that starts position j of frame n, before the channels: the
    // output at j, 6 and 7 frames earlier, both sides (mono counts twice).
    int Echo(int n, int j) const {
        if (options.reverb == 0 || n < EchoNear) return 0;
        const size_t frame = static_cast<size_t>(FrameSamples * Sides());
        int sum = 0;
        for (int back : {EchoFar, EchoNear}) {
            if (n < back) continue;
            const size_t at = static_cast<size_t>(n - back) * frame + static_cast<size_t>(j * Sides());
            sum += options.stereo ? out[at] + out[at + 1] : 2 * out[at];
        }
        return sum * options.reverb >> EchoShift;
    }

    // The sample voice v adds at its position, or nothing once it has played
    // its last value.
    std::optional<int> Next(Voice& v) {
        const int64_t i = static_cast<int64_t>(v.position >> FracBits);
        if (i >= order.length) v.active = false;
        if (!v.active) return std::nullopt;
        const uint32_t frac = static_cast<uint32_t>(v.position & ((uint64_t{1} << FracBits) - 1));
        v.position += v.step;
        return Interpolate(static_cast<int8_t>(order.At(i)), static_cast<int8_t>(order.At(i + 1)), frac);
    }

    void Put(int sum) {
        const int8_t value = Wrap(sum);
        wrapped += value != sum;
        out.push_back(value);
    }

    void MixFrame(int n, ChannelVolumes volumes) {
        // Left then right; mono mixes both sides at half level each.
        const int sides = Sides();
        const int gains[2] = {options.stereo ? volumes.left : (volumes.right + volumes.left) >> 1, volumes.right};
        bool voiced = false;
        for (int j = 0; j < FrameSamples; ++j) {
            const int echo = Echo(n, j);
            int sums[2] = {echo, echo};
            bool played = false;
            for (Voice& v : voices) {
                const std::optional<int> value = Next(v);
                if (!value) continue;
                played = true;
                for (int s = 0; s < sides; ++s) sums[s] += gains[s] * *value >> 8;
            }
            if (played) playedSamples = static_cast<size_t>(n) * FrameSamples + static_cast<size_t>(j) + 1;
            voiced |= played;
            for (int s = 0; s < sides; ++s) Put(sums[s]);
        }
        const std::ptrdiff_t frame = FrameSamples * sides;
        const auto begin = out.end() - frame;
        const bool same = n == 0 ? std::all_of(begin, out.end(), [](int8_t v) { return v == 0; })
                                 : std::equal(begin, out.end(), begin - frame);
        if (voiced || !same) lastChange = n;
    }

    // Once 8 frames in a row are the same with no voice in them, the echo of
    // each position is a value it gives back unchanged: the output repeats
    // that frame for good.
    bool Settled(int n) const { return !AnyActive() && (options.reverb == 0 || lastChange < n - EchoFar); }
};

std::vector<Voice> VoicesOf(const PlayedValues& values, const CryMode& mode) {
    const Pitch pitch = PitchOf(mode.pitch);
    std::vector<Voice> voices{{0, MixerStep(ChannelFrequency(values.rateField, pitch)), true}};
    if (mode.chorus != 0)
        voices.push_back({0, MixerStep(ChannelFrequency(values.rateField, {pitch.key, ChorusTune(pitch.tune, mode.chorus)})),
                          true});
    return voices;
}

PlaybackFigures FiguresOf(const std::vector<int8_t>& out, int sides) {
    PlaybackFigures f;
    size_t heard = 0;  // output positions up to the last beyond one step
    double squares = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const int v = out[i];
        f.peak = std::max(f.peak, std::abs(v));
        if (std::abs(v) > 1) heard = i / static_cast<size_t>(sides) + 1;
    }
    for (size_t i = 0; i < heard * static_cast<size_t>(sides); ++i) squares += out[i] * out[i];
    f.secondsHeard = heard / MixerRate;
    if (heard > 0 && squares > 0)
        f.rmsDb = 10 * std::log10(squares / static_cast<double>(heard * static_cast<size_t>(sides)) / (128.0 * 128.0));
    return f;
}

}  // namespace

bool PlaysBackwards(uint8_t voice) { return (voice & BackwardsVoice) != 0; }

PlayedValues ValuesPlayed(const PlayedEntry& entry) {
    PlayedValues p;
    SampleHeader header;
    if (!ReadSampleHeader(entry.sample, 0, &header)) return p;
    const bool compressed = (entry.voice & CompressedVoice) != 0;
    // The compressed voice plays only a compressed sample; the other reads
    // any sample's bytes as plain values.
    const SampleFormat& format = FormatOf(compressed ? SampleKind::Compressed : SampleKind::Uncompressed);
    if (compressed && header.format != &format) return p;
    const uint32_t field = GetLe32(&entry.sample[SampleLengthOfs]);
    p.playable = true;
    p.rateField = header.rateField;
    p.length = format.lengthBytes == 2 ? field & 0xFFFF : field;
    const std::span<const uint8_t> data = entry.sample.subspan(SampleHeaderSize);
    // Uncompressed values past the bytes given read as 0 without being held.
    const uint64_t count = std::min<uint64_t>(uint64_t{p.length} + 1, compressed ? UINT32_MAX : data.size());
    std::vector<uint8_t> unsignedValues(static_cast<size_t>(count));
    format.decode(data, unsignedValues);
    p.values.resize(unsignedValues.size());
    std::transform(unsignedValues.begin(), unsignedValues.end(), p.values.begin(),
                   [](uint8_t v) { return static_cast<int8_t>(v ^ SignFlip); });
    return p;
}

Pitch PitchOf(int pitch) {
    const int b = pitch + 128;
    return {b >> 8, ((b & 0xFF) >> 1) - TuneCentre};
}

int ChorusTune(int tune, int chorus) { return ((tune + TuneCentre + chorus) & TuneMask) - TuneCentre; }

// Derived: the tune counts four fine steps per 1/64 semitone, and a fine
// adjustment past a whole semitone carries into the key (so a negative tune
// lowers the key by one and adds 256 fine steps back).
uint32_t ChannelFrequency(uint32_t rateField, Pitch pitch) {
    const int shift = (pitch.key - OwnKey) * FineSteps + pitch.tune * (FineSteps / TuneCentre);
    const int key = shift >> 8, fine = shift & (FineSteps - 1);
    const double low = std::exp2(key / 12.0), high = std::exp2((key + 1) / 12.0);
    return static_cast<uint32_t>(rateField / 1024.0 * (low + (high - low) * fine / FineSteps));
}

uint64_t MixerStep(uint32_t frequency) { return uint64_t{frequency} * StepPerHz; }

int NextLevel(int level, int release) { return level * release >> 8; }

// Derived: each side's volume is the channel's pan volume times the level
// after the master volume, over 256 (96 and 94 at volume 120 and full level).
ChannelVolumes ChannelVolumesAt(int level, int volume, int pan) {
    const int scaled = (MasterVolume + 1) * level >> 4;
    const int right = 127 * 128 * ((2 * pan + 128) * 2 * volume >> 8) >> 14;
    const int left = 127 * 127 * ((127 - 2 * pan) * 2 * volume >> 8) >> 14;
    return {right * scaled >> 8, left * scaled >> 8};
}

int Interpolate(int8_t a, int8_t b, uint32_t frac) {
    return a + static_cast<int>(int64_t{frac} * (b - a) >> FracBits);
}

Playback RenderValues(const PlayedValues& values, bool backwards, const CryMode& mode, const PlaybackOptions& options) {
    Playback r;
    r.figures.secondsStored = values.rateField ? values.length / (values.rateField / 1024.0) : 0;
    if (!values.playable) return r;
    const PlayOrder order{values.values, values.length, backwards};
    Mixer mixer{order, options, VoicesOf(values, mode), {}, 0, -1, 0};
    int level = FullLevel;
    bool cut = false;
    for (int n = 0; n < MaxFrames; ++n) {
        if (n >= mode.length) level = NextLevel(level, mode.release);
        if (level == 0 && mixer.AnyActive()) {
            cut = true;
            for (Voice& v : mixer.voices) v.active = false;
        }
        if (mixer.Settled(n)) break;
        mixer.MixFrame(n, ChannelVolumesAt(level, mode.volume, mode.pan));
    }
    // Without an echo the sound ends with the last value a voice played.
    if (options.reverb == 0) mixer.out.resize(mixer.playedSamples * static_cast<size_t>(mixer.Sides()));
    const PlaybackFigures seen = FiguresOf(mixer.out, mixer.Sides());
    r.figures = {true, r.figures.secondsStored, seen.secondsHeard, cut, seen.peak, mixer.wrapped, seen.rmsDb};
    r.samples = std::move(mixer.out);
    return r;
}

Playback RenderCry(const PlayedEntry& entry, const CryMode& mode, const PlaybackOptions& options) {
    return RenderValues(ValuesPlayed(entry), PlaysBackwards(entry.voice), mode, options);
}

std::optional<double> HeardLoudnessDb(const PlayedEntry& entry, GameFamily family) {
    return RenderCry(entry, CryModes(family)[0]).figures.rmsDb;
}
