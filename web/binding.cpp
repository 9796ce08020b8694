// The page's window on the core and the image model, compiled to WebAssembly.
//
// One function per operation. The binding holds the image the page is
// looking at: `open` reads one in, `take` makes it the current image (until
// then the one before stays, so that a file the page refuses loses
// nothing), `reopen` reads the current one's table again, `apply` changes
// it, `image` copies it out, `patch` gives the BPS patch from the image as
// opened to it. Every result crosses as a copy the page owns: JSON text for
// structured results, a Uint8Array for bytes and 8-bit values. Failures come
// back as null or as JSON {"error": ...}; nothing throws.
#include <emscripten/bind.h>
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>
#include <emscripten/val.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bps.h"
#include "conditioning.h"
#include "crylib.h"
#include "fit.h"
#include "fit_trials.h"
#include "hearing.h"
#include "image.h"
#include "plan.h"
#include "playback.h"
#include "quality.h"
#include "report.h"
#include "request.h"
#include "resample.h"
#include "samplekind.h"
#include "wavlib.h"

using emscripten::val;
using Bytes = std::vector<uint8_t>;

// Reads the `size` bytes of `blob` to `to`; false when the browser cannot
// read them (the file changed or went since it was chosen). The file is read
// in one call: each call is a round trip to the browser's file reader.
EM_JS(bool, ReadBlobTo, (emscripten::EM_VAL blob, uint8_t* to, double size), {
    try {
        const bytes = new Uint8Array(new FileReaderSync().readAsArrayBuffer(Emval.toValue(blob)));
        if (bytes.length !== size) return false;
        HEAPU8.set(bytes, to);
        return true;
    } catch (e) {
        return false;
    }
});

namespace {

// An image as opened: its bytes as read, which patches start from and a new
// reading of its table goes back to, and the image with its edits, copied
// from them at the first edit.
//
// Memory the engine writes for the first time costs the system a page fault
// every 4 KiB: writing an image's worth of it takes as long as reading the
// file. So an image is copied only when it is edited, and the memory the next
// one is read into is written beforehand (`prepare`), while the page waits
// for a file.
struct Opened {
    Bytes original;
    std::optional<Bytes> edited;
    ImageModel model;
    TableShortfall shortfall;     // why a measured table stops short
    std::optional<ImageCut> cut;  // the image is shorter than it should be
    IdRule rule = IdRule::CryNumber;
    bool read = false;  // `original` holds a file's bytes

    const Bytes& Image() const { return edited ? *edited : original; }

    // Forgets the image, keeping the memory it was read into.
    void Clear() {
        original.clear();
        edited.reset();
        model = {};
        shortfall = {};
        cut.reset();
        read = false;
    }
};

Opened current;  // the image the page shows
Opened offered;  // the one `open` read, until `take` makes it current

Bytes BytesOf(const val& array) { return emscripten::convertJSArrayToNumberVector<uint8_t>(array); }

enum class Reading { Read, TooLarge, Unreadable };

// Reads `rom`, a Uint8Array or a Blob (the File chosen, in the page's
// worker), into `bytes`; nothing of one larger than an image can be.
Reading ReadImage(const val& rom, Bytes& bytes) {
    const bool blob = rom.instanceof(val::global("Blob"));
    const double size = rom[blob ? "size" : "length"].as<double>();
    if (size > static_cast<double>(MaxImageSize)) return Reading::TooLarge;
    bytes.resize(static_cast<size_t>(size));
    if (blob) return ReadBlobTo(rom.as_handle(), bytes.data(), size) ? Reading::Read : Reading::Unreadable;
    val(emscripten::typed_memory_view(bytes.size(), bytes.data())).call<void>("set", rom);
    return Reading::Read;
}

val Copy(std::span<const uint8_t> bytes) {
    return val(emscripten::typed_memory_view(bytes.size(), bytes.data())).call<val>("slice");
}

// Structured results cross as JSON text, in the shapes the command line's
// --json output has too (report.h).
std::string Text(const Json& j) { return j.Dump(); }
std::string Error(const std::string& what) { return Text(Json::Object({{"error", what}})); }

// The values of the sound sample at `offset` of `bytes`, or nothing.
std::optional<std::pair<SampleInfo, Bytes>> SoundAt(const Bytes& bytes, uint32_t offset) {
    SampleInfo s = InspectSample(bytes, offset);
    if (!s.Sound()) return std::nullopt;
    return std::pair{s, DecodeToUnsigned(bytes, s)};
}

// The page's sharing choices, {share, all_sharing} (EditRequest's), each
// left at the model's default when absent.
void ReadShareOptions(const val& options, EditRequest& request) {
    if (options.isUndefined() || options.isNull()) return;
    if (const val share = options["share"]; !share.isUndefined()) request.share = share.as<bool>();
    if (const val all = options["all_sharing"]; !all.isUndefined()) request.allSharing = all.as<bool>();
}

EditRequest ReplaceRequest(int index, const val& sample, const val& options) {
    EditRequest request;
    request.cries.push_back({.index = index, .sample = BytesOf(sample), .place = CryChange::Place::Auto});
    ReadShareOptions(options, request);
    return request;
}

Plan PlanReplace(int index, const val& sample, const val& options) {
    return PlanEdits(current.Image(), current.model, ReplaceRequest(index, sample, options));
}

// --- The operations --------------------------------------------------------

// What opening an image said: its release and the table in use, in the
// command line's shape (TableJson), or {"error", "problem"} when it cannot be
// opened.
std::string OpenedJson(const Opened& image) {
    const ImageModel& m = image.model;
    if (m.problem != OpenProblem::None)
        return Text(Json::Object({{"error", OpenProblemName(m.problem)}, {"problem", OpenProblemName(m.problem)}}));
    Json j = IdentityJson(m);
    j.Set("size", m.size);
    j.Merge(TableJson(m, image.shortfall, image.cut));
    return Text(j);
}

// Reads the table of `image`'s original bytes at `table` when that is not
// negative, of `entries` entries when that is positive (else measured), and
// IDs as species numbers when `species`. The edits are gone.
void ReadTable(Opened& image, int table, int entries, bool species) {
    image.edited.reset();
    image.rule = species ? IdRule::SpeciesNumber : IdRule::CryNumber;
    TableRequest request;
    if (table >= 0) request.offset = static_cast<uint32_t>(table);
    if (entries > 0) request.entries = entries;
    ImageReading reading = ReadImageModel(image.original, request);
    image.model = std::move(reading.model);
    image.shortfall = reading.shortfall;
    image.cut = reading.cut;
}

// Reads `rom` (a Uint8Array or a File) and its table, as `reopen` reads
// the current image's; the current image stays until `take`.
std::string Open(const val& rom, int table, int entries, bool species) {
    offered.Clear();
    switch (ReadImage(rom, offered.original)) {
        case Reading::Unreadable:
            return Text(Json::Object({{"error", "the file could not be read"}, {"problem", "Unreadable"}}));
        case Reading::TooLarge: offered.model.problem = OpenProblem::TooLarge; break;
        case Reading::Read:
            offered.read = true;
            ReadTable(offered, table, entries, species);
            break;
    }
    return OpenedJson(offered);
}

// The image `open` read becomes the current one; false when it read none.
bool Take() {
    if (!offered.read || offered.model.problem != OpenProblem::None) return false;
    current = std::move(offered);
    offered = {};
    return true;
}

// Writes the memory an image of `bytes` bytes will be read into.
void Prepare(uint32_t bytes) {
    if (!offered.read && offered.original.size() < bytes) offered.original.resize(bytes);
}

// Reads the current image's table again, from its original bytes.
std::string Reopen(int table, int entries, bool species) {
    ReadTable(current, table, entries, species);
    return OpenedJson(current);
}

GameFamily Family() { return FamilyOfCode(current.model.identity.code); }

// One row per ID whose entry lies in the table, then one per entry no ID
// reaches, each with `heard`, its figures in the normal mode (HeardJson).
std::string Rows() {
    if (!current.model.HasTable()) return "[]";
    const auto heard = TableHeard(current.Image(), current.model, Family());
    Json rows = Json::Array();
    for (const EntryRow& row : EntryRows(current.model, current.rule)) {
        Json j = EntryJson(current.Image(), current.model, current.rule, row);
        const auto at = static_cast<size_t>(row.index);
        j.Set("heard", HeardJson(at < heard.size() ? heard[at] : std::nullopt));
        rows.Push(std::move(j));
    }
    return Text(rows);
}

// The unsigned values of the sample at `offset` of the current image.
val Decode(uint32_t offset) {
    auto sound = SoundAt(current.Image(), offset);
    return sound ? Copy(sound->second) : val::null();
}

// The same for a sample on its own, as `encode` returns it.
val DecodeOwnSample(const val& sample) {
    auto sound = SoundAt(BytesOf(sample), 0);
    return sound ? Copy(sound->second) : val::null();
}

// The WAV file of the sample at `offset`: its values at its own rate in whole Hz.
val WavFile(uint32_t offset) {
    auto sound = SoundAt(current.Image(), offset);
    if (!sound || sound->first.Hz() == 0) return val::null();
    return Copy(WavFileBytes(sound->second, sound->first.Hz()));
}

// A WAV file's rate and channels, and where its audio lies: {"error"} when
// it is no WAV at all, "raw" when it is 8-bit mono PCM, whose bytes can be
// taken as they are.
std::string WavInfoOf(const val& file) {
    Bytes bytes = BytesOf(file);
    WavInfo info{};
    WavStatus status = ParseWavInfo(bytes.data(), bytes.size(), &info);
    if (status != WavOk && status != WavUnsupported) return Error("invalid");
    return Text(Json::Object({{"rate", info.rate},
                              {"channels", info.channels},
                              {"raw", status == WavOk},
                              {"offset", info.dataOffset},
                              {"size", info.dataSize}}));
}

// The page's conditioning controls: {channel: "mix"|"left"|"right",
// remove_dc, trim_db (null: no trim), gain_db, normalize_db (null: none)}.
ConditionOptions OptionsOf(const val& o) {
    ConditionOptions options;
    const std::string channel = o["channel"].as<std::string>();
    if (channel == "left") options.channel = ChannelChoice::Left;
    if (channel == "right") options.channel = ChannelChoice::Right;
    options.removeDc = o["remove_dc"].as<bool>();
    if (!o["trim_db"].isNull()) options.trimDb = o["trim_db"].as<double>();
    options.gainDb = o["gain_db"].as<double>();
    if (!o["normalize_db"].isNull()) options.normalizeDb = o["normalize_db"].as<double>();
    return options;
}

// The command line's resampler (resample/) at `quality`, as the core's
// conditioning takes it.
Resampler ResamplerAt(ResampleQuality quality) {
    return [quality](std::span<const double> in, double from, double to, std::vector<double>& out) {
        Resampled r = Resample(in, from, to, quality);
        out = std::move(r.samples);
        return r.error.empty();
    };
}
const Resampler ResampleOf = ResamplerAt(ResampleQuality::High);

// The sound of interleaved `frames` of `channels` values at `rate` Hz as
// unsigned 8-bit values at `toRate` Hz, as the command line converts a file:
// channel, DC and trim, resampling, gain or normalisation, quantisation.
// {values, warnings}; null when libsoxr refuses the rates.
val Convert(const val& frames, int channels, double rate, double toRate, const val& options) {
    AudioWarnings warnings;
    const std::optional<Bytes> values = ConditionSound(emscripten::convertJSArrayToNumberVector<double>(frames), channels,
                                                       rate, toRate, OptionsOf(options), ResampleOf, warnings);
    if (!values) return val::null();
    val out = val::object();
    out.set("values", Copy(*values));
    out.set("warnings", Text(WarningsJson(warnings)));
    return out;
}

// The defaults of the conditioning controls, as the command line has them.
std::string ConditionDefaults() {
    return Text(Json::Object({{"trim_db", DefaultTrimDb}, {"normalize_db", DefaultNormalizeDb}}));
}

// The kinds a new sample may take, in the order to offer them, and the most
// values each holds.
std::string Kinds() {
    Json kinds = Json::Array();
    for (const SampleFormat& f : SampleFormats()) kinds.Push(Json::Object({{"name", f.name}, {"max_values", f.maxValues}}));
    return Text(kinds);
}

// The rates a game plays, in whole Hz: those a new sample may declare.
val RateLimits() {
    val out = val::object();
    out.set("min_rate", MinSampleRate);
    out.set("max_rate", MaxSampleRate);
    out.set("fit_min_rate", DefaultMinFitRate);
    out.set("fit_max_rate", MaxUsefulRateHz);
    return out;
}

// The kind and rate field a new sample for entry `index` takes unless the
// user says otherwise: those of the sample it replaces (DefaultsFor).
std::string Defaults(int index) {
    const SampleDefaults d = DefaultsForEntry(current.Image(), current.model, index);
    return Text(Json::Object({{"kind", FormatOf(d.kind).name}, {"rate_field", d.rateField}}));
}

// The sample of `values` of the kind named `kind` (a compressed one by the
// optimal coder), declaring `rateField` (rate x 1024); null when the kind is
// unknown, the rate one no game plays, or the values none or more than the
// kind holds.
val Encode(const val& values, const std::string& kind, uint32_t rateField) {
    const SampleFormat* format = FormatNamed(kind);
    Bytes wav = BytesOf(values);
    if (!format || !PlausibleRate(rateField / 1024) || wav.empty() || wav.size() > format->maxValues)
        return val::null();
    return Copy(MakeSample(format->kind, wav, rateField, EncodeMode::Best));
}

// How faithfully `sample`, as `encode` made it, keeps `values`, measured on
// its own bytes, and what the core says of it.
std::string QualityOf(const val& values, const val& sample) {
    const EncodeQuality q = MeasureSample(BytesOf(values), BytesOf(sample));
    AudioWarnings warnings;
    CheckEncoding(q, EncodeMode::Best, warnings);
    return Text(Json::Object({{"snr_db", q.snrDb},
                              {"peak_error", q.peakError},
                              {"grade", GradeName(GradeOf(q))},
                              {"warnings", WarningsJson(warnings)}}));
}

// What the game will play of `sample`, as `encode` made it of `values`, in
// place of entry `index`: its SNR as heard (HeardSnrDb, against a perfect
// sample of the values; null when exact) and the warnings of what is heard,
// its loudness against the median of the table's other cries.
std::string Heard(int index, const val& values, const val& sample) {
    const Bytes bytes = BytesOf(sample);
    const SampleInfo s = InspectSample(bytes, 0);
    if (!s.Kind()) return Error("not a sample");
    const GameFamily family = Family();
    const int replaced[] = {index};
    const auto median = MedianLoudnessDb(TableHeard(current.Image(), current.model, family), replaced);
    const HeardCry heard = HearNewSample(bytes, *s.Kind(), BytesOf(values), s.rateField, family, median);
    return Text(Json::Object({{"snr_heard_db", heard.snrDb}, {"warnings", HeardWarningsJson(heard.warnings)}}));
}

// What replacing entry `index` with `sample` (of either kind) would do, the
// slot chosen as Place::Auto: in place when it fits (and no other entry plays
// the old sample, unless `options` says all_sharing), else in free space,
// repointed, the voice byte rewritten when the kind changes.
std::string PlanEditWith(int index, const val& sample, const val& options) {
    return Text(PlanJson(PlanReplace(index, sample, options), current.rule));
}
std::string PlanEdit(int index, const val& sample) { return PlanEditWith(index, sample, val::undefined()); }

// The changes of `request` applied to the current image when their plan
// holds; the plan's JSON either way.
std::string ApplyRequest(const EditRequest& request) {
    Plan plan = PlanEdits(current.Image(), current.model, request);
    if (!plan.Ok()) return Text(PlanJson(plan, current.rule));
    if (!current.edited) current.edited = current.original;
    if (!ApplyPlan(plan, *current.edited)) return Error("the plan could not be applied");
    return Text(PlanJson(plan, current.rule));
}

// The same, applied to the current image when the plan holds.
std::string ApplyEditWith(int index, const val& sample, const val& options) {
    return ApplyRequest(ReplaceRequest(index, sample, options));
}
std::string ApplyEdit(int index, const val& sample) { return ApplyEditWith(index, sample, val::undefined()); }

// A pack of sounds the page gathers file by file (`packAdd`: a file's name
// and its decoded frames), then plans as `brevox-cli import` plans a folder:
// the files matched to entries by their names, each sound converted to the
// kind and rate of the sample it replaces and encoded by the optimal coder,
// and one plan placing them all. `packApply` applies that plan as one edit.
struct PackSound {
    std::string name;
    std::vector<double> frames;
    int channels = 1;
    double rate = 0;
};
std::vector<PackSound> pack;
EditRequest packRequest;  // the last plan's changes, which packApply applies

void PackClear() {
    pack.clear();
    packRequest = {};
}

void PackAdd(const std::string& name, const val& frames, int channels, double rate) {
    pack.push_back({name, emscripten::convertJSArrayToNumberVector<double>(frames), channels, rate});
}

// A sound's values as the new sample of its entry, of `kind` declaring
// `rateField`; its JSON row says how it went: the sample's values, rate and
// SNR, or why there is none ("problem": NoAudio, TooLong, NoResample).
std::optional<Bytes> StoredRow(const std::optional<Bytes>& values, SampleKind kind, uint32_t rateField,
                               const AudioWarnings& warnings, Json& row) {
    const SampleFormat& format = FormatOf(kind);
    row.Set("warnings", WarningsJson(warnings));
    row.Set("rate", rateField / 1024);
    row.Set("kind", format.name);
    const char* problem = !values ? "NoResample" : values->empty() ? "NoAudio"
                          : values->size() > format.maxValues ? "TooLong" : nullptr;
    if (problem) {
        row.Set("problem", problem);
        return std::nullopt;
    }
    Bytes sample = MakeSample(kind, *values, rateField, EncodeMode::Best);
    const EncodeQuality q = MeasureSample(*values, sample);
    row.Set("values", values->size());
    row.Set("snr_db", q.snrDb);
    row.Set("grade", GradeName(GradeOf(q)));
    return sample;
}

// One file's sound as the new sample of its entry, at the entry's kind and rate.
std::optional<Bytes> PackSample(const PackSound& sound, int index, const ConditionOptions& options, Json& row) {
    const SampleDefaults d = DefaultsForEntry(current.Image(), current.model, index);
    AudioWarnings warnings;
    const std::optional<Bytes> values =
        ConditionSound(sound.frames, sound.channels, sound.rate, d.rateField / 1024.0, options, ResampleOf, warnings);
    return StoredRow(values, d.kind, d.rateField, warnings, row);
}

// packPlan's {fit, min_rate, budget}: whether to choose each cry's rate so
// that the pack fits, as import --fit chooses them.
struct FitAsked {
    uint32_t minRate = DefaultMinFitRate;
    std::optional<uint64_t> budget;
};
std::optional<FitAsked> FitAskedOf(const val& options) {
    if (const val fit = options["fit"]; fit.isUndefined() || !fit.as<bool>()) return std::nullopt;
    FitAsked asked;
    if (const val m = options["min_rate"]; !m.isUndefined() && !m.isNull()) asked.minRate = m.as<uint32_t>();
    if (const val b = options["budget"]; !b.isUndefined() && !b.isNull())
        asked.budget = static_cast<uint64_t>(std::max(0.0, b.as<double>()));
    return asked;
}

// The pack's sounds weighed at their rates and fitted to the image, as
// import --fit fits them: each conditioned up to resampling once (`monos`,
// with the warnings of that), then tried at its rates (`trials`).
// `request.cries[i]` is the change of `sounds[i]`.
struct PackFitted {
    std::vector<std::vector<double>> monos;
    std::vector<AudioWarnings> warnings;
    std::optional<PackTrials> trials;
    Fit fit;
};
PackFitted FitPack(std::span<const PackSound* const> sounds, const ConditionOptions& options, uint32_t minRate,
                   std::optional<uint64_t> budget, const EditRequest& request) {
    PackFitted f{std::vector<std::vector<double>>(sounds.size()), std::vector<AudioWarnings>(sounds.size()), {}, {}};
    std::vector<FitSound> fitted;
    for (size_t i = 0; i < sounds.size(); ++i) {
        const SampleDefaults d = DefaultsForEntry(current.Image(), current.model, request.cries[i].index);
        f.monos[i] = ConditionBeforeResample(sounds[i]->frames, sounds[i]->channels, sounds[i]->rate, options, f.warnings[i]);
        fitted.push_back({f.monos[i], sounds[i]->rate, options, d.kind,
                          FitRates(static_cast<uint32_t>(std::lround(d.rateField / 1024.0)), minRate)});
    }
    f.trials.emplace(std::move(fitted), Family(), FitResamplers{ResampleOf, ResamplerAt(ResampleQuality::Draft)});
    for (size_t i = 0; i < sounds.size(); ++i) f.trials->Prepare(i);
    f.fit = FitTrials(current.Image(), current.model, request, *f.trials, budget);
    return f;
}

// The pack's sounds stored at the rates FitPack chooses, then converted and
// encoded at them, each row filled as StoredRow fills it, with
// snr_heard_db, and each change's sample. The fit's figures: {min_rate,
// budget, lowest_rate, median_rate}, or {missing_bytes} when the pack does
// not fit even at the lowest rates.
Json FitPackSounds(std::span<const PackSound* const> sounds, std::span<Json* const> rows, const ConditionOptions& options,
                   const FitAsked& asked, EditRequest& request, bool& refused) {
    PackFitted f = FitPack(sounds, options, asked.minRate, asked.budget, request);
    if (!f.fit.fits) {
        refused = true;
        return Json::Object({{"missing_bytes", f.fit.missing}});
    }
    PackTrials& trials = *f.trials;
    const std::vector<uint32_t> chosen = trials.RatesChosen(f.fit);
    for (size_t i = 0; i < sounds.size(); ++i) {
        const FitSound& s = trials.Sounds()[i];
        const uint32_t hz = chosen[i];
        std::optional<Bytes> values;
        if (!trials.Refused(i)) values = trials.StoredValues(i, hz, f.warnings[i]);
        const std::optional<Bytes> sample = StoredRow(values, s.kind, hz * 1024, f.warnings[i], *rows[i]);
        if (!sample) {
            refused = true;
            continue;
        }
        rows[i]->Set("snr_heard_db", trials.HeardSnrDb(i, *sample));
        request.cries[i].sample = *sample;
    }
    return Json::Object({{"min_rate", asked.minRate},
                         {"budget", asked.budget},
                         {"lowest_rate", LowestRate(chosen)},
                         {"median_rate", MedianRate(chosen)}});
}

// Whether the fit would fit a pack the plan found no room for, and the
// lowest rate it would take, as import says when refused; none when it would
// not.
std::optional<uint32_t> LowestRateToFit(std::span<const PackSound* const> sounds, const ConditionOptions& options,
                                        const Plan& plan) {
    if (!FitMightHelp(plan)) return std::nullopt;
    const PackFitted f = FitPack(sounds, options, DefaultMinFitRate, std::nullopt, packRequest);
    if (!f.fit.fits) return std::nullopt;
    return LowestRate(f.trials->RatesChosen(f.fit));
}

// {ignored: [names], files: [{name, index, id, problem, other, rate, kind,
// values, snr_db, snr_heard_db, grade, warnings}], loudness_db, fit, plan}:
// loudness_db is the loudness every cry was brought to (null: none asked, or
// no cry of the table to take it from); fit the fit's figures (null unless
// asked; FitPackSounds) with the new samples' bytes; plan is null when a file
// cannot be taken (every such file is named) or the pack does not fit, else
// the plan of them all, with fit_lowest_rate when it finds no room and the
// fit, not asked, would (the lowest rate it would take). {"error":
// "BadMinRate"} for a min_rate the fit cannot take.
std::string PackPlan(const val& conditioning, const val& options) {
    packRequest = {};
    packRequest.reclaim = options["reclaim"].as<bool>();
    ReadShareOptions(options, packRequest);
    const std::optional<FitAsked> fitAsked = FitAskedOf(options);
    if (fitAsked && !MinFitRateAllowed(fitAsked->minRate)) return Error("BadMinRate");
    std::vector<std::string> names;
    for (const PackSound& s : pack) names.push_back(s.name);
    std::vector<size_t> ignored;
    const std::vector<PackFile> files = MatchPackFiles(names, current.model, current.rule, &ignored);
    Json ignoredNames = Json::Array();
    for (size_t i : ignored) ignoredNames.Push(names[i]);
    // --match-loudness: every new cry brought to the median of the table's
    // cries that the pack leaves, as import brings them.
    ConditionOptions conditions = OptionsOf(conditioning);
    if (options["match_loudness"].as<bool>()) {
        std::vector<int> replaced;
        for (const PackFile& f : files) replaced.push_back(f.row.index);
        conditions.family = Family();
        conditions.loudnessDb = MedianLoudnessDb(TableHeard(current.Image(), current.model, Family()), replaced);
    }
    std::vector<Json> rows;
    rows.reserve(files.size());
    bool refused = false;
    std::vector<const PackSound*> sounds;  // those of the changes, in their order
    std::vector<Json*> fitRows;
    for (const PackFile& f : files) {
        Json& row = rows.emplace_back(Json::Object({{"name", names[f.file]}, {"index", f.row.index}, {"id", f.row.id}}));
        if (f.problem != PackFileProblem::None) {
            row.Set("problem", PackFileProblemName(f.problem));
            if (f.problem == PackFileProblem::Twice) row.Set("other", names[f.other]);
            refused = true;
        } else if (fitAsked) {
            sounds.push_back(&pack[f.file]);
            fitRows.push_back(&row);
            packRequest.cries.push_back({.index = f.row.index});
        } else if (std::optional<Bytes> sample = PackSample(pack[f.file], f.row.index, conditions, row)) {
            sounds.push_back(&pack[f.file]);
            packRequest.cries.push_back({.index = f.row.index, .sample = std::move(*sample)});
        } else {
            refused = true;
        }
    }
    Json fit;
    if (fitAsked && !refused) fit = FitPackSounds(sounds, fitRows, conditions, *fitAsked, packRequest, refused);
    Json rowList = Json::Array();
    for (Json& row : rows) rowList.Push(std::move(row));
    Json out = Json::Object({{"ignored", ignoredNames}, {"files", rowList}, {"loudness_db", conditions.loudnessDb}});
    std::optional<uint32_t> lowest;
    if (refused) {
        packRequest = {};
        out.Set("plan", nullptr);
    } else {
        const Plan plan = PlanEdits(current.Image(), current.model, packRequest);
        if (fitAsked) fit.Set("bytes", plan.NewBytes());
        else lowest = LowestRateToFit(sounds, conditions, plan);
        out.Set("plan", PlanJson(plan, current.rule));
    }
    out.Set("fit", fit);
    out.Set("fit_lowest_rate", lowest);
    return Text(out);
}

// The last pack planned, applied: {plan, indexes, samples}, the changes
// being what the page's history replays (`applyMany`) when it plans the
// edits again.
val PackApply() {
    val out = val::object();
    out.set("plan", ApplyRequest(packRequest));
    val indexes = val::array(), samples = val::array();
    for (const CryChange& c : packRequest.cries) {
        indexes.call<void>("push", c.index);
        samples.call<void>("push", Copy(c.sample));
    }
    out.set("indexes", indexes);
    out.set("samples", samples);
    return out;
}

// Several cries replaced in one plan, as a pack applied before with `options`
// (packPlan's).
std::string ApplyMany(const val& indexes, const val& samples, const val& options) {
    EditRequest request;
    request.reclaim = options["reclaim"].as<bool>();
    ReadShareOptions(options, request);
    const std::vector<int> at = emscripten::vecFromJSArray<int>(indexes);
    for (size_t i = 0; i < at.size(); ++i)
        request.cries.push_back({.index = at[i], .sample = BytesOf(samples[i])});
    return ApplyRequest(request);
}

val Image() { return Copy(current.Image()); }

// The BPS patch from the image as opened to the current one.
val Patch() { return Copy(MakeBps(current.original, current.Image())); }

// Free-space bytes the current image has left.
double FreeSpace() { return static_cast<double>(PlanEdits(current.Image(), current.model, {}).freeLeft); }

// The most values a sample of the kind named `kind` holds in `bytes` bytes.
uint32_t ValuesFittingIn(const std::string& kind, uint32_t bytes) {
    const SampleFormat* format = FormatNamed(kind);
    return format ? ValuesFitting(format->kind, bytes) : 0;
}

// --- Playback -------------------------------------------------------------

// The modes the current image's game plays a cry in, by its game code.
std::string Modes() {
    Json modes = Json::Array();
    for (const CryMode& m : CryModes(Family()))
        modes.Push(Json::Object({{"number", m.number}, {"name", m.name}, {"length", m.length},
                                 {"release", m.release}, {"pitch", m.pitch}, {"chorus", m.chorus},
                                 {"volume", m.volume}, {"pan", m.pan}, {"reverse", m.reverse}}));
    return Text(modes);
}

// A render as the page takes it: the output as unsigned 8-bit values at the
// mixer's rate (`rate`), and its figures in the shape of the command line's
// render --json, with `held` and `ended`, where a mode that plays forwards
// leaves the sample (ReachInMode; null backwards).
val RenderOf(const PlayedEntry& entry, const CryMode& mode) {
    const PlayedValues values = ValuesPlayed(entry);
    const Playback p = RenderValues(values, PlaysBackwards(entry.voice), mode);
    Bytes unsigned8(p.samples.size());
    std::transform(p.samples.begin(), p.samples.end(), unsigned8.begin(),
                   [](int8_t v) { return static_cast<uint8_t>(v ^ 0x80); });
    const bool forwards = values.playable && !PlaysBackwards(entry.voice);
    const NoteReach reach = ReachInMode(values.rateField, mode);
    Json figures = RenderFiguresJson(mode, p.figures);
    figures.Set("rate", MixerRate);
    figures.Set("held", forwards ? Json(static_cast<double>(reach.held)) : Json());
    figures.Set("ended", forwards ? Json(static_cast<double>(reach.ended)) : Json());
    val out = val::object();
    out.set("values", Copy(unsigned8));
    out.set("figures", Text(figures));
    return out;
}

// What the game plays of entry `index` in mode number `mode`; null when
// the entry lies past the table or the game has no such mode.
val Render(int index, int mode) {
    const CryMode* m = FindCryMode(Family(), mode);
    if (!m || !current.model.HasTable() || index < 0 || index >= current.model.entries) return val::null();
    return RenderOf(EntryPlayed(current.Image(), current.model, index, *m), *m);
}

// The same for a sample on its own, as `encode` returns it, played as an
// entry of its kind would play it: its own bytes backwards in the modes that
// play the reverse table, as the reverse entry an edit keeps in step does.
val RenderSample(const val& sample, int mode) {
    const CryMode* m = FindCryMode(Family(), mode);
    const Bytes bytes = BytesOf(sample);
    const SampleInfo s = InspectSample(bytes, 0);
    if (!m || !s.Kind()) return val::null();
    const auto voice = static_cast<uint8_t>(VoiceWord(m->reverse ? TableKind::Reverse : TableKind::Cry, *s.Kind()));
    return RenderOf({voice, bytes}, *m);
}

}  // namespace

EMSCRIPTEN_BINDINGS(brevox) {
    emscripten::function("open", &Open);
    emscripten::function("take", &Take);
    emscripten::function("reopen", &Reopen);
    emscripten::function("prepare", &Prepare);
    emscripten::function("rows", &Rows);
    emscripten::function("decode", &Decode);
    emscripten::function("decodeSample", &DecodeOwnSample);
    emscripten::function("wavFile", &WavFile);
    emscripten::function("wavInfo", &WavInfoOf);
    emscripten::function("conditionDefaults", &ConditionDefaults);
    emscripten::function("convert", &Convert);
    emscripten::function("kinds", &Kinds);
    emscripten::function("rateLimits", &RateLimits);
    emscripten::function("defaults", &Defaults);
    emscripten::function("encode", &Encode);
    emscripten::function("quality", &QualityOf);
    emscripten::function("heard", &Heard);
    // Each with or without the sharing options.
    emscripten::function("plan", &PlanEdit);
    emscripten::function("plan", &PlanEditWith);
    emscripten::function("apply", &ApplyEdit);
    emscripten::function("apply", &ApplyEditWith);
    emscripten::function("image", &Image);
    emscripten::function("patch", &Patch);
    emscripten::function("freeSpace", &FreeSpace);
    emscripten::function("valuesFitting", &ValuesFittingIn);
    emscripten::function("modes", &Modes);
    emscripten::function("render", &Render);
    emscripten::function("renderSample", &RenderSample);
    emscripten::function("packClear", &PackClear);
    emscripten::function("packAdd", &PackAdd);
    emscripten::function("packPlan", &PackPlan);
    emscripten::function("packApply", &PackApply);
    emscripten::function("applyMany", &ApplyMany);
}
