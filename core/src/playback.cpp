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
// they read 0. Forwards, the values read are themselves that order where they
// reach far enough; otherwise `held` keeps it.
std::span<const int8_t> PlayOrderOf(const PlayedValues& p, bool backwards, uint64_t reach, std::vector<int8_t>& held) {
    const uint64_t count = std::min<uint64_t>(p.length, reach) + 1;
    const uint64_t stored = p.values.size();
    if (!backwards && stored >= count) return std::span<const int8_t>(p.values).first(static_cast<size_t>(count));
    held.assign(static_cast<size_t>(count), 0);
    if (!backwards) {
        std::copy_n(p.values.begin(), stored, held.begin());
        return held;
    }
    // Value length - 1 - k, where the values stored reach it.
    for (uint64_t k = 0; k < count && k < p.length; ++k)
        if (p.length - 1 - k < stored) held[static_cast<size_t>(k)] = p.values[static_cast<size_t>(p.length - 1 - k)];
    return held;
}

// How many positions of the next frame voice v plays before `end` (all of
// them for a voice that does not move).
int PositionsLeft(const Voice& v, uint64_t end) {
    if (v.position >= end) return 0;
    if (v.step == 0) return FrameSamples;
    return static_cast<int>(std::min<uint64_t>(FrameSamples, (end - v.position + v.step - 1) / v.step));
}

// Adds what the active voices play in one frame to each side's sums, at
// gains[side] / 256 per unit of value; the most positions any of them played
// (fewer than a frame once a voice plays its last value, which stops it).
template <int Sides>
int AddVoices(std::span<Voice> voices, std::span<const int8_t> order, const int (&gains)[2],
              int16_t (&sums)[2][FrameSamples]) {
    const uint64_t end = static_cast<uint64_t>(order.size() - 1) << FracBits;
    const int8_t* values = order.data();
    int played = 0;
    for (Voice& v : voices) {
        if (!v.active) continue;
        const int count = PositionsLeft(v, end);
        uint64_t position = v.position;  // local, so that the stores to `sums` need not write it back
        for (int j = 0; j < count; ++j, position += v.step) {
            const size_t i = static_cast<size_t>(position >> FracBits);
            const int value = Interpolate(values[i], values[i + 1], static_cast<uint32_t>(position));
            sums[0][j] = static_cast<int16_t>(sums[0][j] + (gains[0] * value >> 8));
            if constexpr (Sides == 2) sums[1][j] = static_cast<int16_t>(sums[1][j] + (gains[1] * value >> 8));
        }
        v.position = position;
        v.active = count == FrameSamples;
        played = std::max(played, count);
    }
    return played;
}

// Modulo 256, as the conversion is defined since C++20.
int8_t Wrap(int sum) { return static_cast<int8_t>(sum); }

// What the output of one frame holds.
struct FrameStats {
    uint32_t wrapped = 0;  // values whose sum wrapped
    int low = 0, high = 0;
    int squares = 0;  // at most 448 x 128 x 128
};

// Wraps the frame's sums into the output bytes, left then right.
template <int Sides>
FrameStats StoreFrame(const int16_t (&sums)[2][FrameSamples], int8_t* to) {
    FrameStats f;
    for (int s = 0; s < Sides; ++s) {
        // In 16 bits, as the sums are, so that the loop runs in wide registers.
        int16_t wrapped = 0, low = 0, high = 0;
        int squares = 0;
        for (int j = 0; j < FrameSamples; ++j) {
            const int16_t value = Wrap(sums[s][j]);
            wrapped = static_cast<int16_t>(wrapped + (value != sums[s][j]));
            low = std::min(low, value);
            high = std::max(high, value);
            squares += value * value;
            to[j * Sides + s] = static_cast<int8_t>(value);
        }
        f.wrapped += static_cast<uint32_t>(wrapped);
        f.low = std::min<int>(f.low, low);
        f.high = std::max<int>(f.high, high);
        f.squares += squares;
    }
    return f;
}

// What one frame adds to the output and what the render has seen so far.
struct Mixer {
    std::span<const int8_t> order;
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
    // the output there 6 and 7 frames earlier, both sides (mono counts twice,
    // hence its shift one less), times the reverb over 512.
    void Echo(int n, int16_t* into) const {
        if (options.reverb == 0) {
            std::fill(into, into + FrameSamples, int16_t{0});
            return;
        }
        const auto reverb = static_cast<int16_t>(options.reverb);
        const size_t frame = static_cast<size_t>(FrameSamples * Sides());
        int16_t earlier[FrameSamples] = {};
        for (int back : {EchoFar, EchoNear}) {
            if (n < back) continue;
            const int8_t* from = &out[static_cast<size_t>(n - back) * frame];
            if (options.stereo)
                for (int j = 0; j < FrameSamples; ++j)
                    earlier[j] = static_cast<int16_t>(earlier[j] + from[2 * j] + from[2 * j + 1]);
            else
                for (int j = 0; j < FrameSamples; ++j) earlier[j] = static_cast<int16_t>(earlier[j] + from[j]);
        }
        // Mono's sum times the reverb fits 16 bits; stereo's, twice as large, does not.
        if (options.stereo)
            for (int j = 0; j < FrameSamples; ++j)
                into[j] = static_cast<int16_t>(earlier[j] * options.reverb >> EchoShift);
        else
            for (int j = 0; j < FrameSamples; ++j)
                into[j] = static_cast<int16_t>(static_cast<int16_t>(earlier[j] * reverb) >> (EchoShift - 1));
    }

    // Left then right; mono mixes both sides at half level each.
    void MixFrame(int n, ChannelVolumes volumes) {
        const int sides = Sides();
        const int gains[2] = {options.stereo ? volumes.left : (volumes.right + volumes.left) >> 1, volumes.right};
        int16_t sums[2][FrameSamples];  // at most 2 x 101 from the voices and 127 from the echo
        Echo(n, sums[0]);
        if (options.stereo) std::copy_n(sums[0], FrameSamples, sums[1]);
        const int played =
            options.stereo ? AddVoices<2>(voices, order, gains, sums) : AddVoices<1>(voices, order, gains, sums);
        if (played > 0) playedSamples = static_cast<size_t>(n) * FrameSamples + static_cast<size_t>(played);
        const size_t frame = static_cast<size_t>(FrameSamples * sides), at = out.size();
        out.resize(at + frame);
        frames.push_back(options.stereo ? StoreFrame<2>(sums, &out[at]) : StoreFrame<1>(sums, &out[at]));
        if (played > 0 || !Repeats(n, at, frame)) lastChange = n;
    }

    // Whether frame n, stored from `at`, is the one before it again
    // (silence before the first).
    bool Repeats(int n, size_t at, size_t frame) const {
        const auto begin = out.begin() + static_cast<std::ptrdiff_t>(at);
        return n == 0 ? std::all_of(begin, out.end(), [](int8_t v) { return v == 0; })
                      : std::equal(begin, out.end(), begin - static_cast<std::ptrdiff_t>(frame));
    }

    // Once 8 frames in a row are the same with no voice in them, the echo of
    // each position is a value it gives back unchanged: the output repeats
    // that frame for good.
    bool Settled(int n) const { return !AnyActive() && (options.reverb == 0 || lastChange < n - EchoFar); }
};

std::vector<Voice> VoicesOf(uint32_t rateField, const CryMode& mode) {
    const Pitch pitch = PitchOf(mode.pitch);
    std::vector<Voice> voices{{0, MixerStep(ChannelFrequency(rateField, pitch)), true}};
    if (mode.chorus != 0)
        voices.push_back(
            {0, MixerStep(ChannelFrequency(rateField, {pitch.key, ChorusTune(pitch.tune, mode.chorus)})), true});
    return voices;
}

uint64_t FastestStep(const std::vector<Voice>& voices) {
    const auto slower = [](const Voice& a, const Voice& b) { return a.step < b.step; };
    return std::max_element(voices.begin(), voices.end(), slower)->step;
}

// How far into its values, in play order, a note in `mode` reaches at most:
// its fastest voice's position when the note ends.
uint64_t ReachOf(const std::vector<Voice>& voices, const CryMode& mode) {
    const uint64_t positions = uint64_t{static_cast<uint32_t>(NoteFrames(mode))} * FrameSamples;
    return (positions * FastestStep(voices) >> FracBits) + 1;
}

// The values a voice has read after `positions` output positions: the one
// under its last position, and all before it.
uint64_t ValuesReadBy(uint64_t positions, uint64_t step) {
    return positions == 0 ? 0 : ((positions - 1) * step >> FracBits) + 1;
}

// The values an entry plays; with a mode and played forwards, only as many
// as the note reaches (one more: each position reads the next too), since a
// short mode hears little of a long cry.
PlayedValues ValuesRead(const PlayedEntry& entry, const CryMode* mode) {
    PlayedValues p;
    const Result<SampleHeader> read = ReadSampleHeader(entry.sample, 0);
    if (!read.Ok()) return p;
    const SampleHeader& header = read.value;
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
    uint64_t count = std::min<uint64_t>(uint64_t{p.length} + 1, compressed ? UINT32_MAX : data.size());
    if (mode && !PlaysBackwards(entry.voice)) count = std::min(count, ReachOf(VoicesOf(p.rateField, *mode), *mode) + 1);
    // Decoded in place as unsigned bytes, then turned signed.
    p.values.resize(static_cast<size_t>(count));
    const std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(p.values.data()), p.values.size());
    format.decode(data, bytes);
    for (uint8_t& v : bytes) v ^= SignFlip;
    return p;
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

PlayedValues ValuesPlayed(const PlayedEntry& entry) { return ValuesRead(entry, nullptr); }

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
    std::vector<Voice> voices = VoicesOf(values.rateField, mode);
    const uint64_t fastest = FastestStep(voices), noteFrames = static_cast<uint32_t>(NoteFrames(mode));
    std::vector<int8_t> held;
    const std::span<const int8_t> order = PlayOrderOf(values, backwards, ReachOf(voices, mode), held);
    const PlaybackOptions played{std::clamp(options.reverb, 0, MaxReverb), options.stereo};
    Mixer mixer{order, played, std::move(voices), {}, {}, -1, 0};
    // Room for the frames the voices play in, the echo's tail aside.
    const uint64_t voiced = (uint64_t{order.size()} << FracBits) / std::max<uint64_t>(fastest, 1) / FrameSamples + 1;
    const size_t frames = static_cast<size_t>(std::min(noteFrames, voiced) + 1);
    mixer.out.reserve(frames * FrameSamples * static_cast<size_t>(mixer.Sides()));
    mixer.frames.reserve(frames);
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
    if (played.reverb == 0) mixer.out.resize(mixer.playedSamples * static_cast<size_t>(mixer.Sides()));
    const PlaybackFigures seen = FiguresOf(mixer);
    r.figures = {true, r.figures.secondsStored, seen.secondsHeard, cut, seen.peak, seen.wrapped, seen.rmsDb};
    r.samples = std::move(mixer.out);
    return r;
}

NoteReach ReachInMode(uint32_t rateField, const CryMode& mode) {
    const uint64_t step = VoicesOf(rateField, mode).front().step;
    const uint64_t held = uint64_t{static_cast<uint32_t>(mode.length)} * FrameSamples;
    const uint64_t ended = uint64_t{static_cast<uint32_t>(NoteFrames(mode))} * FrameSamples;
    return {ValuesReadBy(held, step), ValuesReadBy(ended, step)};
}

Playback RenderCry(const PlayedEntry& entry, const CryMode& mode, const PlaybackOptions& options) {
    return RenderValues(ValuesRead(entry, &mode), PlaysBackwards(entry.voice), mode, options);
}

std::optional<double> HeardLoudnessDb(const PlayedEntry& entry, GameFamily family) {
    return RenderCry(entry, CryModes(family)[0]).figures.rmsDb;
}
