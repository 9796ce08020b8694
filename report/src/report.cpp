#include "report.h"

namespace {

Json IdsJson(const std::vector<int>& indexes, IdRule rule) {
    Json ids = Json::Array();
    for (int i : indexes)
        for (int id : IdsOfIndex(i, rule)) ids.Push(id);
    return ids;
}

Json KindJson(const std::optional<SampleKind>& kind) { return kind ? Json(FormatOf(*kind).name) : Json(); }

Json CryJson(const CryPlan& c, IdRule rule) {
    return Json::Object({{"ids", IdsJson({c.index}, rule)},
                         {"index", c.index},
                         {"replaced", c.replaced},
                         {"old_offset", c.oldOffset},
                         {"old_bytes", c.oldBytes},
                         {"new_offset", c.newOffset},
                         {"new_bytes", c.newBytes},
                         {"old_kind", KindJson(c.oldKind)},
                         {"new_kind", KindJson(c.newKind)},
                         {"moved", c.moved},
                         {"reverse_moved", c.reverseMoved},
                         {"sharing", c.sharing},
                         {"sharing_ids", IdsJson(c.sharing, rule)},
                         {"sharing_changed", c.sharingChanged},
                         {"same_as", c.sameAs >= 0 ? Json(c.sameAs) : Json()},
                         {"overwritten", c.overwritten},
                         {"overwritten_ids", IdsJson(c.overwritten, rule)},
                         {"snr_db", nullptr}});
}

template <class T, class F>
Json ListJson(const std::vector<T>& items, F each) {
    Json list = Json::Array();
    for (const T& item : items) list.Push(each(item));
    return list;
}

}  // namespace

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

const char* TableSourceName(TableSource source) {
    switch (source) {
        case TableSource::Given: return "Given";
        case TableSource::Known: return "Known";
        case TableSource::Moved: return "Moved";
        case TableSource::Scan: return "Scan";
        case TableSource::None: return "None";
    }
    return "Unknown";
}

Json IdentityJson(const ImageModel& m) {
    const RomIdentity& id = m.identity;
    const bool hasCode = m.size >= GameCodeOfs + 4;
    return Json::Object({{"label", id.label ? Cp1252ToUtf8(id.label) : ""},
                         {"code", std::string(id.code, hasCode ? 4 : 0)},
                         {"revision", id.revision >= 0 ? Json(id.revision) : Json()},
                         {"release_table", id.kind == RomKnown ? Json(id.tableOffset) : Json()}});
}

Json SampleJson(const SampleInfo& s) {
    const bool sound = s.Sound();
    const auto ifSound = [&](Json value) { return sound ? value : Json(); };
    return Json::Object({{"offset", s.offset},
                         {"kind", SampleKindName(s)},
                         {"length", ifSound(s.length)},
                         {"rate", ifSound(s.Hz())},
                         {"seconds", ifSound(s.Seconds())},
                         {"bytes", ifSound(s.extent)},
                         {"sound", sound}});
}

Json TableStopJson(const TableShortfall& s) {
    if (s.stop == TableStop::None) return Json();
    return Json::Object({{"reason", TableStopName(s.stop)},
                         {"index", s.index},
                         {"at", s.at},
                         {"word", s.word},
                         {"resumes", s.resumes},
                         {"games", GameTableEntries}});
}

Json ImageCutJson(const std::optional<ImageCut>& cut) {
    if (!cut) return Json();
    return Json::Object({{"size", cut->size},
                         {"game_size", cut->gameSize ? Json(cut->gameSize) : Json()},
                         {"pointed_past", cut->entry >= 0 ? Json(cut->pointedPast) : Json()},
                         {"index", cut->entry >= 0 ? Json(cut->entry) : Json()}});
}

Json TableJson(const ImageModel& m, const TableShortfall& stop, const std::optional<ImageCut>& cut) {
    return Json::Object({{"table", m.HasTable() ? Json(m.table) : Json()},
                         {"entries_in_table", m.entries},
                         {"found_by", TableSourceName(m.source)},
                         {"table_pointers", m.tablePointers},
                         {"reverse_table", m.reverse},
                         {"reverse_entries", m.reverseEntries},
                         {"reverse_pointers", m.reversePointers},
                         {"unused_table", m.unusedTable},
                         {"competing_tables", m.competing},
                         {"ambiguous", m.Ambiguous()},
                         {"table_stop", TableStopJson(stop)},
                         {"table_in_use", m.tableInUse},
                         {"image_cut", ImageCutJson(cut)}});
}

Json EntryJson(ImageBytes image, const ImageModel& model, IdRule rule, const EntryRow& row) {
    const Entry e = ReadEntry(image, model.table, row.index);
    Json inStep;
    if (model.reverse && row.index < model.reverseEntries) inStep = ReverseInStep(image, model, row.index);
    return Json::Object({{"id", row.id},
                         {"index", row.index},
                         {"at", e.at},
                         {"pointer", e.inFile ? Json(e.pointer) : Json()},
                         {"reverse_in_step", inStep},
                         {"sample", e.pointsIntoRom ? SampleJson(InspectSample(image, e.offset)) : Json()},
                         {"shared_with", e.pointsIntoRom ? EntriesPlaying(image, model, e.offset, row.index) : std::vector<int>{}},
                         {"file", CryFileStem(row, rule)}});
}

Json PointerJson(const PointerUpdate& u) {
    return Json::Object({{"table", TableName(u.table)}, {"index", u.index}, {"at", u.at}, {"from", u.from}, {"to", u.to}});
}

Json VoiceJson(const VoiceUpdate& v) {
    return Json::Object({{"table", TableName(v.table)}, {"index", v.index}, {"at", v.at}, {"from", v.from}, {"to", v.to}});
}

const char* ProtectedPartName(ProtectedPart part) {
    switch (part) {
        case HeaderPart: return "Header";
        case CryTablePart: return "CryTable";
        case ReverseTablePart: return "ReverseTable";
        case SamplePart: return "Sample";
    }
    return "Unknown";
}

Json ProblemJson(const Problem& p, IdRule rule) {
    return Json::Object({{"kind", ProblemName(p.kind)},
                         {"index", p.index},
                         {"ids", p.index >= 0 ? IdsJson({p.index}, rule) : Json::Array()},
                         {"offset", p.offset},
                         {"bytes", p.bytes},
                         {"room", p.room},
                         {"part", p.kind == PlanProblem::Protected ? Json(ProtectedPartName(p.part)) : Json()}});
}

Json PlanWarningJson(const PlanWarning& w, IdRule rule, WordsOf<PlanWarning> words) {
    using Kind = PlanWarningKind;
    const auto when = [&](bool given, Json value) { return given ? value : Json(); };
    const bool cut = w.kind == Kind::ImageCut;
    return Json::Object({{"code", PlanWarningName(w.kind)},
                         {"message", words ? Json(words(w)) : Json()},
                         {"index", w.index},
                         {"ids", w.index >= 0 ? IdsJson({w.index}, rule) : Json::Array()},
                         {"table", when(w.kind == Kind::TableNotInUse, w.table)},
                         {"in_use", when(w.kind == Kind::TableNotInUse, w.inUse)},
                         {"size", when(cut, w.size)},
                         {"game_size", when(cut && w.gameSize, w.gameSize)},
                         {"pointed_past", when(cut && w.index >= 0, w.pointedPast)},
                         {"pointer", when(w.kind == Kind::ReverseLeft, w.pointer)}});
}

Json SpanJson(Span s) { return Json::Object({{"start", s.start}, {"end", s.end}}); }

Json PlanJson(const Plan& plan, IdRule rule, const std::map<int, Json>& extra, WordsOf<PlanWarning> words) {
    Json cries = ListJson(plan.cries, [&](const CryPlan& c) {
        Json row = CryJson(c, rule);
        if (auto it = extra.find(c.index); it != extra.end()) row.Merge(it->second);
        return row;
    });
    return Json::Object({{"ok", plan.Ok()},
                         {"problems", ListJson(plan.problems, [&](const Problem& p) { return ProblemJson(p, rule); })},
                         {"cries", cries},
                         {"pointers", ListJson(plan.pointers, PointerJson)},
                         {"voices", ListJson(plan.voices, VoiceJson)},
                         {"writes", ListJson(plan.writes, [](const Write& w) { return SpanJson(w.Bytes()); })},
                         {"reclaimed", ListJson(plan.reclaimed, SpanJson)},
                         {"warnings", ListJson(plan.warnings, [&](const PlanWarning& w) { return PlanWarningJson(w, rule, words); })},
                         {"bytes_used", plan.bytesUsed},
                         {"bytes_freed", plan.bytesFreed},
                         {"bytes_shared", plan.bytesShared},
                         {"free_left", plan.freeLeft}});
}

Json UsageJson(const TableUsage& u, IdRule rule) {
    return Json::Object(
        {{"samples", u.samples},
         {"bytes", u.bytes},
         {"kinds", ListJson(u.kinds, [](const KindUsage& k) {
              return Json::Object({{"kind", FormatOf(k.kind).name}, {"samples", k.samples}, {"bytes", k.bytes}});
          })},
         {"rates", ListJson(u.rates, [](const RateUsage& r) {
              return Json::Object({{"rate", r.hz}, {"samples", r.samples}, {"bytes", r.bytes}});
          })},
         {"free_bytes", u.freeBytes},
         {"duplicates", ListJson(u.duplicates, [&](const DuplicateGroup& g) {
              return Json::Object({{"entries", g.entries},
                                   {"ids", IdsJson(g.entries, rule)},
                                   {"offsets", g.offsets},
                                   {"bytes", g.bytes},
                                   {"saved", g.saved}});
          })},
         {"duplicate_bytes", u.duplicateBytes},
         {"ladder", ListJson(u.ladder, [](const RungBytes& r) {
              return Json::Object({{"rate", r.hz}, {"bytes", r.bytes}, {"freed", r.freed}});
          })}});
}

const char* AudioWarningName(AudioWarningCode code) {
    switch (code) {
        case AudioWarningCode::MixLostEnergy: return "MixLostEnergy";
        case AudioWarningCode::Clipping: return "Clipping";
        case AudioWarningCode::DcOffset: return "DcOffset";
        case AudioWarningCode::PoorEncoding: return "PoorEncoding";
        case AudioWarningCode::RateMismatch: return "RateMismatch";
        case AudioWarningCode::LoudnessShort: return "LoudnessShort";
    }
    return "Unknown";
}

Json WarningJson(const AudioWarning& w, WarningWords words) {
    using Code = AudioWarningCode;
    const auto when = [&](Code code, Json value) { return w.code == code ? value : Json(); };
    return Json::Object({{"code", AudioWarningName(w.code)},
                         {"message", words ? Json(words(w)) : Json()},
                         {"channels", when(Code::MixLostEnergy, w.channels)},
                         {"kept_percent", when(Code::MixLostEnergy, w.keptPercent)},
                         {"clipped", when(Code::Clipping, w.clipped)},
                         {"offset_percent", when(Code::DcOffset, w.offsetPercent)},
                         {"fast", when(Code::PoorEncoding, w.mode == EncodeMode::Fast)},
                         {"snr_db", when(Code::PoorEncoding, w.snrDb)},
                         {"peak_error", when(Code::PoorEncoding, w.peakError)},
                         {"wav_rate", when(Code::RateMismatch, w.wavRate)},
                         {"sample_rate", when(Code::RateMismatch, w.sampleRate)},
                         {"target_db", when(Code::LoudnessShort, w.targetDb)},
                         {"heard_db", when(Code::LoudnessShort, w.heardDb)}});
}

Json WarningsJson(const AudioWarnings& warnings, WarningWords words) {
    return ListJson(warnings, [&](const AudioWarning& w) { return WarningJson(w, words); });
}

Json RenderFiguresJson(const CryMode& mode, const PlaybackFigures& f) {
    return Json::Object({{"mode", mode.name},
                         {"number", mode.number},
                         {"playable", f.playable},
                         {"seconds_stored", f.secondsStored},
                         {"seconds_heard", f.secondsHeard},
                         {"cut", f.cut},
                         {"peak", f.peak},
                         {"wrapped", f.wrapped},
                         {"rms_db", f.rmsDb}});
}

Json HeardJson(const std::optional<HeardFigures>& heard) {
    if (!heard) return Json();
    return Json::Object({{"seconds_heard", heard->secondsHeard}, {"cut", heard->cut}, {"loudness_db", heard->loudnessDb}});
}

Json HeardWarningJson(const HeardWarning& w, WordsOf<HeardWarning> words) {
    using Code = HeardWarningCode;
    const auto when = [&](bool given, Json value) { return given ? value : Json(); };
    const bool cut = w.code == Code::CutInNormal, rate = w.code == Code::RateAboveMixer,
               loudness = w.code == Code::LoudnessOff;
    Json modes = Json::Array();
    for (int m : w.modes) modes.Push(FindCryMode(w.family, m)->name);
    return Json::Object({{"code", HeardWarningName(w.code)},
                         {"message", words ? Json(words(w)) : Json()},
                         {"seconds_stored", when(cut, w.secondsStored)},
                         {"seconds_heard", when(cut, w.secondsHeard)},
                         {"modes", when(w.code == Code::CutInModes || w.code == Code::WrapsWithChorus, modes)},
                         {"wrapped", when(w.code == Code::WrapsWithChorus, w.wrapped)},
                         {"rate", when(rate, w.rateHz)},
                         {"bytes", when(rate, w.bytes)},
                         {"bytes_at_mixer_rate", when(rate, w.bytesAtMixerRate)},
                         {"extra_bytes", when(rate, w.bytes - w.bytesAtMixerRate)},
                         {"loudness_db", when(loudness, w.loudnessDb)},
                         {"median_db", when(loudness, w.medianDb)}});
}

Json HeardWarningsJson(const HeardWarnings& warnings, WordsOf<HeardWarning> words) {
    return ListJson(warnings, [&](const HeardWarning& w) { return HeardWarningJson(w, words); });
}
