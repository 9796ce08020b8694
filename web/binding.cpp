// The page's window on the core and the image model, compiled to WebAssembly.
//
// One function per operation. The binding holds one image, the one the page
// is looking at: `open` copies it in, `apply` changes it, `image` copies it
// out, `patch` gives the BPS patch from the image as opened to it. Every result crosses as a copy the page owns: JSON text for structured
// results, a Uint8Array for bytes and 8-bit values. Failures come
// back as null or as JSON {"error": ...}; nothing throws.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bps.h"
#include "conditioning.h"
#include "crylib.h"
#include "image.h"
#include "plan.h"
#include "quality.h"
#include "resample.h"
#include "samplekind.h"
#include "wavlib.h"

using emscripten::val;
using Bytes = std::vector<uint8_t>;

namespace {

struct Current {
    Bytes original;  // the image as `open` took it, which patches start from
    Bytes image;
    ImageModel model;
    IdRule rule = IdRule::CryNumber;
} current;

Bytes BytesOf(const val& array) { return emscripten::convertJSArrayToNumberVector<uint8_t>(array); }

val Copy(std::span<const uint8_t> bytes) {
    return val(emscripten::typed_memory_view(bytes.size(), bytes.data())).call<val>("slice");
}

// A small JSON writer: the page reads the text with JSON.parse.
std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}
std::string Field(const char* name, const std::string& json) { return Quote(name) + ":" + json; }
template <class Integer>
std::string Num(Integer n) { return std::to_string(n); }
std::string Real(double x) { return std::isfinite(x) ? std::to_string(x) : "null"; }
std::string Bool(bool b) { return b ? "true" : "false"; }
template <class Range, class F>
std::string List(const Range& items, F each) {
    std::string out = "[";
    for (const auto& item : items) out += (out.size() > 1 ? "," : "") + each(item);
    return out + "]";
}
std::string Object(std::initializer_list<std::string> fields) {
    std::string out = "{";
    for (const std::string& f : fields) out += (out.size() > 1 ? "," : "") + f;
    return out + "}";
}
std::string Error(const std::string& what) { return Object({Field("error", Quote(what))}); }

std::string OffsetsJson(const std::vector<uint32_t>& offsets) { return List(offsets, Num<uint32_t>); }
std::string OptionalJson(const std::optional<uint32_t>& offset) { return offset ? Num(*offset) : "null"; }

// The format a kind's name (SampleFormat::name) names, or nullptr.
const SampleFormat* FormatNamed(const std::string& name) {
    for (const SampleFormat& f : SampleFormats())
        if (name == f.name) return &f;
    return nullptr;
}

std::string SampleJson(const SampleInfo& s) {
    return Object({Field("offset", Num(s.offset)), Field("kind", Quote(SampleKindName(s))), Field("length", Num(s.length)),
                   Field("rate", Num(s.Hz())), Field("seconds", Real(s.Seconds())),
                   Field("bytes", Num(s.extent)), Field("sound", Bool(s.Sound()))});
}

std::string RowJson(const EntryRow& row) {
    Entry e = ReadEntry(current.image, current.model.table, row.index);
    std::string sample = "null", inStep = "null";
    if (e.pointsIntoRom) {
        SampleInfo s = InspectSample(current.image, e.offset);
        if (s.headerInFile) sample = SampleJson(s);
    }
    if (current.model.reverse) inStep = Bool(ReverseInStep(current.image, current.model, row.index));
    return Object({Field("id", row.id ? Num(*row.id) : "null"), Field("index", Num(row.index)), Field("at", Num(e.at)),
                   Field("pointer", e.inFile ? Num(e.pointer) : "null"), Field("reverse_in_step", inStep),
                   Field("sample", sample), Field("file", Quote(CryFileStem(row, current.rule)))});
}

// The values of the sound sample at `offset` of `bytes`, or nothing.
std::optional<std::pair<SampleInfo, Bytes>> SoundAt(const Bytes& bytes, uint32_t offset) {
    SampleInfo s = InspectSample(bytes, offset);
    if (!s.Sound()) return std::nullopt;
    return std::pair{s, DecodeToUnsigned(bytes, s)};
}

const char* OpenProblemName(OpenProblem problem) {
    switch (problem) {
        case OpenProblem::None: return "None";
        case OpenProblem::TooLarge: return "TooLarge";
        case OpenProblem::TableUnaligned: return "TableUnaligned";
        case OpenProblem::TablePastEnd: return "TablePastEnd";
        case OpenProblem::TableNoEntries: return "TableNoEntries";
        case OpenProblem::EntriesTooMany: return "EntriesTooMany";
    }
    return "Unknown";
}

std::string PlanJson(const Plan& plan) {
    auto problem = [](const Problem& p) {
        return Object({Field("kind", Quote(ProblemName(p.kind))), Field("index", Num(p.index)),
                       Field("offset", Num(p.offset)), Field("bytes", Num(p.bytes)), Field("room", Num(p.room))});
    };
    auto cry = [](const CryPlan& c) {
        return Object({Field("index", Num(c.index)), Field("old_offset", Num(c.oldOffset)),
                       Field("old_bytes", Num(c.oldBytes)), Field("new_offset", Num(c.newOffset)),
                       Field("new_bytes", Num(c.newBytes)), Field("moved", Bool(c.moved)),
                       Field("sharing", List(c.sharing, [](int i) { return Num(i); }))});
    };
    auto pointer = [](const PointerUpdate& u) {
        return Object({Field("table", Quote(TableName(u.table))), Field("index", Num(u.index)),
                       Field("at", Num(u.at)), Field("from", Num(u.from)), Field("to", Num(u.to))});
    };
    auto voice = [](const VoiceUpdate& v) {
        return Object({Field("table", Quote(TableName(v.table))), Field("index", Num(v.index)),
                       Field("at", Num(v.at)), Field("from", Num(int{v.from})), Field("to", Num(int{v.to}))});
    };
    return Object({Field("ok", Bool(plan.Ok())), Field("problems", List(plan.problems, problem)),
                   Field("cries", List(plan.cries, cry)), Field("pointers", List(plan.pointers, pointer)),
                   Field("voices", List(plan.voices, voice)), Field("free_left", Num(plan.freeLeft))});
}

Plan PlanReplace(int index, const val& sample) {
    EditRequest request;
    request.cries.push_back({.index = index, .sample = BytesOf(sample), .place = CryChange::Place::Auto});
    return PlanEdits(current.image, current.model, request);
}

// --- The operations --------------------------------------------------------

// Takes `rom` as the current image, reading its table at `table` when that is
// not negative, and reading IDs as species numbers when `species`.
std::string Open(const val& rom, int table, bool species) {
    current.original = current.image = BytesOf(rom);
    current.rule = species ? IdRule::SpeciesNumber : IdRule::CryNumber;
    TableRequest request;
    if (table >= 0) request.offset = static_cast<uint32_t>(table);
    current.model = OpenImage(current.image, request);
    const ImageModel& m = current.model;
    if (m.problem != OpenProblem::None)
        return Object({Field("error", Quote(DescribeOpenProblem(m))), Field("problem", Quote(OpenProblemName(m.problem)))});
    return Object({Field("label", Quote(m.identity.label ? Cp1252ToUtf8(m.identity.label) : "")),
                   Field("code", Quote(m.identity.code)), Field("source", Quote(SourceName(m.source))),
                   Field("has_table", Bool(m.HasTable())), Field("table", Num(m.table)),
                   Field("entries", Num(m.entries)), Field("reverse", OptionalJson(m.reverse)),
                   Field("table_pointers", OffsetsJson(m.tablePointers)),
                   Field("unused_table", OptionalJson(m.unusedTable)), Field("competing", OffsetsJson(m.competing)),
                   Field("ambiguous", Bool(m.Ambiguous())), Field("size", Num(m.size))});
}

// One row per ID whose entry lies in the table, then one per entry no ID reaches.
std::string Rows() {
    if (!current.model.HasTable()) return "[]";
    return List(EntryRows(current.model, current.rule), RowJson);
}

// The unsigned values of the sample at `offset` of the current image.
val Decode(uint32_t offset) {
    auto sound = SoundAt(current.image, offset);
    return sound ? Copy(sound->second) : val::null();
}

// The same for a sample on its own, as `encode` returns it.
val DecodeOwnSample(const val& sample) {
    auto sound = SoundAt(BytesOf(sample), 0);
    return sound ? Copy(sound->second) : val::null();
}

// The WAV file of the sample at `offset`: its values at its own rate in whole Hz.
val WavFile(uint32_t offset) {
    auto sound = SoundAt(current.image, offset);
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
    return Object({Field("rate", Num(info.rate)), Field("channels", Num(info.channels)),
                   Field("raw", Bool(status == WavOk)), Field("offset", Num(info.dataOffset)),
                   Field("size", Num(info.dataSize))});
}

std::string WarningsJson(const AudioWarnings& warnings) {
    return List(warnings, [](const AudioWarning& w) {
        return Object({Field("code", Num(static_cast<int>(w.code))), Field("channels", Num(w.channels)),
                       Field("keptPercent", Real(w.keptPercent)), Field("clipped", Num(w.clipped)),
                       Field("offsetPercent", Real(w.offsetPercent)), Field("fast", Bool(w.mode == EncodeMode::Fast)),
                       Field("snrDb", Real(w.snrDb)), Field("peakError", Num(w.peakError)),
                       Field("wavRate", Real(w.wavRate)), Field("sampleRate", Real(w.sampleRate))});
    });
}

// The page's conditioning controls: {channel: "mix"|"left"|"right",
// removeDc, trimDb (null: no trim), gainDb, normalizeDb (null: none)}.
ConditionOptions OptionsOf(const val& o) {
    ConditionOptions options;
    const std::string channel = o["channel"].as<std::string>();
    if (channel == "left") options.channel = ChannelChoice::Left;
    if (channel == "right") options.channel = ChannelChoice::Right;
    options.removeDc = o["removeDc"].as<bool>();
    if (!o["trimDb"].isNull()) options.trimDb = o["trimDb"].as<double>();
    options.gainDb = o["gainDb"].as<double>();
    if (!o["normalizeDb"].isNull()) options.normalizeDb = o["normalizeDb"].as<double>();
    return options;
}

// The sound of interleaved `frames` of `channels` values at `rate` Hz as
// unsigned 8-bit values at `toRate` Hz, as the command line converts a file:
// channel, DC and trim, resampling, gain or normalisation, quantisation.
// {values, warnings}; null when libsoxr refuses the rates.
val Convert(const val& frames, int channels, double rate, double toRate, const val& options) {
    const ConditionOptions o = OptionsOf(options);
    AudioWarnings warnings;
    std::vector<double> mono =
        ConditionBeforeResample(emscripten::convertJSArrayToNumberVector<double>(frames), channels, rate, o, warnings);
    const Resampled resampled = Resample(mono, rate, toRate);
    if (!resampled.error.empty()) return val::null();
    val out = val::object();
    out.set("values", Copy(Quantise(ConditionAfterResample(resampled.samples, o), warnings)));
    out.set("warnings", WarningsJson(warnings));
    return out;
}

// The defaults of the conditioning controls, as the command line has them.
std::string ConditionDefaults() {
    return Object({Field("trimDb", Real(DefaultTrimDb)), Field("normalizeDb", Real(DefaultNormalizeDb))});
}

// The kinds a new sample may take, in the order to offer them, and the most
// values each holds.
std::string Kinds() {
    return List(SampleFormats(), [](const SampleFormat& f) {
        return Object({Field("name", Quote(f.name)), Field("max_values", Num(f.maxValues))});
    });
}

// The kind and rate field a new sample for entry `index` takes unless the
// user says otherwise: those of the sample it replaces (DefaultsFor).
std::string Defaults(int index) {
    const Entry e = ReadEntry(current.image, current.model.table, index);
    const SampleDefaults d = DefaultsFor(current.image, e.pointsIntoRom ? std::optional(e.offset) : std::nullopt);
    return Object({Field("kind", Quote(FormatOf(d.kind).name)), Field("rate_field", Num(d.rateField))});
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
    return Object({Field("snr_db", Real(q.snrDb)), Field("peak_error", Num(q.peakError)),
                   Field("warnings", WarningsJson(warnings))});
}

// What replacing entry `index` with `sample` (of either kind) would do, the
// slot chosen as Place::Auto: in place when it fits, else in free space,
// repointed, the voice byte rewritten when the kind changes.
std::string PlanEdit(int index, const val& sample) { return PlanJson(PlanReplace(index, sample)); }

// The same, applied to the current image when the plan holds.
std::string ApplyEdit(int index, const val& sample) {
    Plan plan = PlanReplace(index, sample);
    if (plan.Ok() && !ApplyPlan(plan, current.image)) return Error("the plan could not be applied");
    return PlanJson(plan);
}

val Image() { return Copy(current.image); }

// The BPS patch from the image as opened to the current one.
val Patch() { return Copy(MakeBps(current.original, current.image)); }

}  // namespace

EMSCRIPTEN_BINDINGS(brevox) {
    emscripten::function("open", &Open);
    emscripten::function("rows", &Rows);
    emscripten::function("decode", &Decode);
    emscripten::function("decodeSample", &DecodeOwnSample);
    emscripten::function("wavFile", &WavFile);
    emscripten::function("wavInfo", &WavInfoOf);
    emscripten::function("conditionDefaults", &ConditionDefaults);
    emscripten::function("convert", &Convert);
    emscripten::function("kinds", &Kinds);
    emscripten::function("defaults", &Defaults);
    emscripten::function("encode", &Encode);
    emscripten::function("quality", &QualityOf);
    emscripten::function("plan", &PlanEdit);
    emscripten::function("apply", &ApplyEdit);
    emscripten::function("image", &Image);
    emscripten::function("patch", &Patch);
}
