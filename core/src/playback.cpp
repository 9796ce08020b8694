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

struct Voice {
    uint64_t position = 0;  // in values, with a 23-bit fraction
    uint64_t step = 0;
    bool active = true;
};

// The frames a note lasts at most in `mode`: its hold, then its release
// until the level reaches 0.
int NoteFrames(const CryMode& mode) {
    int frames = mode.length;
    for (int level = FullLevel; (level = NextLevel(level, mode.release)) > 0;) ++frames;
    return frames;
}

// The values in play order, forwards from the first or backwards from value
// length - 1, as far as any voice reaches before the note ends, and one more:
// each position reads its value and the next. Past either end of the sample
// they read 0.
std::vector<int8_t> PlayOrderOf(const PlayedValues& p, bool backwards, uint64_t reach) {
    const uint64_t count = std::min<uint64_t>(p.length, reach) + 1;
    std::vector<int8_t> order(static_cast<size_t>(count), 0);
    const uint64_t stored = p.values.size();
    if (!backwards) {
        std::copy_n(p.values.begin(), std::min(stored, count), order.begin());
        return order;
    }
    // Value length - 1 - k, where the values stored reach it.
    for (uint64_t k = 0; k < count && k < p.length; ++k)
        if (p.length - 1 - k < stored) order[static_cast<size_t>(k)] = p.values[static_cast<size_t>(p.length - 1 - k)];
    return order;
}

// The values voice v plays in one frame, from its first sample on, into
// `into`, 0 past them; how many (fewer than a frame once it plays its last
// value). Whole frames keep the loops that use them simple to vectorise.
int PlayFrame(Voice& v, const std::vector<int8_t>& order, int* into) {
    const uint64_t end = static_cast<uint64_t>(order.size() - 1) << FracBits;
    uint64_t position = v.position;  // local, so that the stores to `into` need not write it back
    int count = 0;
    for (; count < FrameSamples && position < end; ++count) {
        const size_t i = static_cast<size_t>(position >> FracBits);
        into[count] = Interpolate(order[i], order[i + 1], static_cast<uint32_t>(position & ((1u << FracBits) - 1)));
        position += v.step;
    }
    v.position = position;
    if (count < FrameSamples) v.active = false;
    std::fill(into + count, into + FrameSamples, 0);
    return count;
}

int8_t Wrap(int sum) { return static_cast<int8_t>(static_cast<uint8_t>(sum & 0xFF)); }

// What the output of one frame holds.
struct FrameStats {
    uint32_t wrapped = 0;  // values whose sum wrapped
    int low = 0, high = 0;
    int squares = 0;  // at most 448 x 128 x 128
};

// Wraps the frame's sums into the output bytes, left then right.
template <int Sides>
FrameStats StoreFrame(const int (&sums)[2][FrameSamples], int8_t* to) {
    FrameStats f;
    for (int j = 0; j < FrameSamples; ++j)
        for (int s = 0; s < Sides; ++s) {
            const int8_t value = Wrap(sums[s][j]);
            f.wrapped += value != sums[s][j];
            f.low = std::min<int>(f.low, value);
            f.high = std::max<int>(f.high, value);
            f.squares += value * value;
            to[j * Sides + s] = value;
        }
    return f;
}

// What one frame adds to the output and what the render has seen so far.
struct Mixer {
    const std::vector<int8_t>& order;
    const PlaybackOptions& options;
    std::vector<Voice> voices;
    std::vector<int8_t> out;   // every frame so far; stereo interleaves left, right
    std::vector<FrameStats> frames;
    // The last frame a voice played in or that differs from the one before
    // (silence before the first).
    int lastChange = -1;
    size_t playedSamples = 0;  // output positions up to the last one a voice played

    int Sides() const { return options.stereo ? 2 : 1; }
    bool AnyActive() const {
        return std::any_of(voices.begin(), voices.end(), [](const Voice& v) { return v.active; });
    }

    // The echo that starts each position of frame n, before the channels:
    // the output there 6 and 7 frames earlier, both sides (mono counts twice).
    void Echo(int n, int* into) const {
        std::fill(into, into + FrameSamples, 0);
        if (options.reverb == 0) return;
        const size_t frame = static_cast<size_t>(FrameSamples * Sides());
        for (int back : {EchoFar, EchoNear}) {
            if (n < back) continue;
            const int8_t* earlier = &out[static_cast<size_t>(n - back) * frame];
            if (options.stereo)
                for (int j = 0; j < FrameSamples; ++j) into[j] += earlier[2 * j] + earlier[2 * j + 1];
            else
                for (int j = 0; j < FrameSamples; ++j) into[j] += 2 * earlier[j];
        }
        for (int j = 0; j < FrameSamples; ++j) into[j] = into[j] * options.reverb >> EchoShift;
    }

    // Left then right; mono mixes both sides at half level each.
    void MixFrame(int n, ChannelVolumes volumes) {
        const int sides = Sides();
        const int gains[2] = {options.stereo ? volumes.left : (volumes.right + volumes.left) >> 1, volumes.right};
        int echo[FrameSamples], sums[2][FrameSamples], values[FrameSamples];
        Echo(n, echo);
        for (int s = 0; s < sides; ++s) std::copy_n(echo, FrameSamples, sums[s]);
        bool voiced = false;
        for (Voice& v : voices) {
            if (!v.active) continue;
            const int count = PlayFrame(v, order, values);
            if (count == 0) continue;
            voiced = true;
            playedSamples = std::max(playedSamples, static_cast<size_t>(n) * FrameSamples + static_cast<size_t>(count));
            for (int s = 0; s < sides; ++s)
                for (int j = 0; j < FrameSamples; ++j) sums[s][j] += gains[s] * values[j] >> 8;
        }
        const size_t frame = static_cast<size_t>(FrameSamples * sides), at = out.size();
        out.resize(at + frame);
        frames.push_back(options.stereo ? StoreFrame<2>(sums, &out[at]) : StoreFrame<1>(sums, &out[at]));
        const auto begin = out.begin() + static_cast<std::ptrdiff_t>(at);
        const bool same = n == 0 ? std::all_of(begin, out.end(), [](int8_t v) { return v == 0; })
                                 : std::equal(begin, out.end(), begin - static_cast<std::ptrdiff_t>(frame));
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

PlaybackFigures FiguresOf(const Mixer& mixer) {
    PlaybackFigures f;
    const std::vector<int8_t>& out = mixer.out;
    const size_t sides = static_cast<size_t>(mixer.Sides()), frame = FrameSamples * sides;
    uint64_t wrapped = 0;
    for (const FrameStats& s : mixer.frames) {
        f.peak = std::max({f.peak, -s.low, s.high});
        wrapped += s.wrapped;
    }
    f.wrapped = static_cast<uint32_t>(wrapped);
    // Output positions up to the last value beyond one step, and their squares.
    const auto loud = std::find_if(out.rbegin(), out.rend(), [](int8_t v) { return v < -1 || v > 1; });
    const size_t heard = (static_cast<size_t>(out.rend() - loud) + sides - 1) / sides, end = heard * sides;
    uint64_t squares = 0;
    for (size_t n = 0; n < end / frame; ++n) squares += static_cast<uint64_t>(mixer.frames[n].squares);
    for (size_t i = end / frame * frame; i < end; ++i) squares += static_cast<uint64_t>(out[i] * out[i]);
    f.secondsHeard = heard / MixerRate;
    if (squares > 0) f.rmsDb = 10 * std::log10(static_cast<double>(squares) / static_cast<double>(end) / (128.0 * 128.0));
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

// (2^23 - 1) x 255 still fits in 32 bits.
int Interpolate(int8_t a, int8_t b, uint32_t frac) {
    return a + (static_cast<int32_t>(frac & ((1u << FracBits) - 1)) * (b - a) >> FracBits);
}

Playback RenderValues(const PlayedValues& values, bool backwards, const CryMode& mode, const PlaybackOptions& options) {
    Playback r;
    r.figures.secondsStored = values.rateField ? values.length / (values.rateField / 1024.0) : 0;
    if (!values.playable) return r;
    std::vector<Voice> voices = VoicesOf(values, mode);
    const uint64_t fastest = std::max_element(voices.begin(), voices.end(), [](const Voice& a, const Voice& b) {
                                 return a.step < b.step;
                             })->step;
    const uint64_t positions = uint64_t{static_cast<uint32_t>(NoteFrames(mode))} * FrameSamples;
    const std::vector<int8_t> order = PlayOrderOf(values, backwards, (positions * fastest >> FracBits) + 1);
    Mixer mixer{order, options, std::move(voices), {}, {}, -1, 0};
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
    const PlaybackFigures seen = FiguresOf(mixer);
    r.figures = {true, r.figures.secondsStored, seen.secondsHeard, cut, seen.peak, seen.wrapped, seen.rmsDb};
    r.samples = std::move(mixer.out);
    return r;
}

Playback RenderCry(const PlayedEntry& entry, const CryMode& mode, const PlaybackOptions& options) {
    return RenderValues(ValuesPlayed(entry), PlaysBackwards(entry.voice), mode, options);
}

std::optional<double> HeardLoudnessDb(const PlayedEntry& entry, GameFamily family) {
    return RenderCry(entry, CryModes(family)[0]).figures.rmsDb;
}
