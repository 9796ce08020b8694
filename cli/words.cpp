#include "words.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "text.h"

namespace {

std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

const char* PartName(ProtectedPart part) {
    static const char* const parts[] = {"the ROM header", "the cry table", "the reverse table", "another sample"};
    return parts[part];
}

using ProblemWords = std::string (*)(const Problem&);
struct ProblemText {
    PlanProblem kind;
    ProblemWords words;
};

// In PlanProblem order. IndexPastTable is worded by PastTable, with its subject.
const std::array<ProblemText, 13> ProblemTexts = {{
    {PlanProblem::IndexPastTable, nullptr},
    {PlanProblem::EntryNotInImage, [](const Problem&) -> std::string { return "its entry does not point into the ROM"; }},
    {PlanProblem::BadSample,
     [](const Problem&) -> std::string { return "the new sample's bytes do not match its kind and stored length"; }},
    {PlanProblem::DoesNotFit,
     [](const Problem& p) {
         return "the new sample needs " + Bytes(p.bytes) + " but its slot at " + Hex(p.offset) + " holds " +
                Bytes(p.room) + ", " + Bytes(p.bytes - p.room) + " missing";
     }},
    {PlanProblem::NoFreeSpace,
     [](const Problem& p) {
         return "no free space for " + Bytes(p.bytes) + " (the largest free run left holds " + Bytes(p.room) + ")";
     }},
    {PlanProblem::Unaligned, [](const Problem& p) { return "offset " + Hex(p.offset) + " is not word-aligned (a multiple of 4)"; }},
    {PlanProblem::PastEnd, [](const Problem& p) { return Bytes(p.bytes) + " at " + Hex(p.offset) + " would run past the end of the ROM"; }},
    {PlanProblem::Protected,
     [](const Problem& p) { return Bytes(p.bytes) + " at " + Hex(p.offset) + " would overwrite " + PartName(p.part); }},
    {PlanProblem::NotASample, [](const Problem& p) { return Hex(p.offset) + " holds no sample"; }},
    {PlanProblem::NotFree, [](const Problem& p) { return Hex(p.offset) + " holds neither a sample nor free space"; }},
    {PlanProblem::TwiceInOnePlan, [](const Problem&) -> std::string { return "is changed twice in one edit"; }},
    {PlanProblem::NoTable, [](const Problem&) -> std::string { return "the ROM has no cry table"; }},
    {PlanProblem::AmbiguousTable,
     [](const Problem&) -> std::string { return "the code points at more than one cry table; name the one to edit"; }},
}};

using WarningWords = std::string (*)(const PlanWarning&);
struct PlanWarningText {
    PlanWarningKind kind;
    WarningWords words;
};

// In PlanWarningKind order.
const std::array<PlanWarningText, 3> PlanWarningTexts = {{
    {PlanWarningKind::TableNotInUse,
     [](const PlanWarning& w) {
         return "the game does not read the cry table at " + Hex(w.table) + ": its code points at " + Hex(w.inUse) +
                "; this edit changes nothing the game plays";
     }},
    {PlanWarningKind::ImageCut,
     [](const PlanWarning& w) {
         return DescribeImageCut({.size = w.size, .gameSize = w.gameSize, .pointedPast = w.pointedPast, .entry = w.index});
     }},
    {PlanWarningKind::ReverseLeft,
     [](const PlanWarning& w) {
         return "its reverse entry pointed at another sample (" + Hex(w.pointer) + ") and is left as it was";
     }},
}};

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", s);
    return text;
}

std::string Decibels(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", db);
    return text;
}

std::string ModeNames(const HeardWarning& w) {
    std::string names;
    for (int m : w.modes) names += (names.empty() ? "" : ", ") + std::string(FindCryMode(w.family, m)->name);
    return names;
}

std::string Joined(const std::string& subject, const std::string& words) {
    return subject.empty() ? words : subject + ": " + words;
}

}  // namespace

std::string PastTable(uint32_t table, int entries, const std::string& what) {
    return "the cry table at " + Hex(table) + " has " + std::to_string(entries) + " entries; " + what + " lies past it";
}

std::string DescribePackFileProblem(PackFileProblem problem, const std::string& subject, uint32_t table, int entries,
                                    const std::string& first) {
    switch (problem) {
        case PackFileProblem::None: break;
        case PackFileProblem::NoCryOfItsOwn: return subject + " has no cry of its own";
        case PackFileProblem::PastTable: return PastTable(table, entries, subject);
        case PackFileProblem::Twice: return subject + " also comes from " + first;
    }
    return {};
}

std::string DescribeProblem(const Problem& p, const std::string& subject) {
    if (p.kind == PlanProblem::IndexPastTable)
        return PastTable(static_cast<uint32_t>(p.offset), static_cast<int>(p.room), subject.empty() ? "the entry" : subject);
    const ProblemText& t = ProblemTexts[static_cast<size_t>(p.kind)];
    return Joined(subject, t.kind == p.kind ? t.words(p) : "unknown problem");
}

std::string DescribePlanWarning(const PlanWarning& w, const std::string& subject) {
    const PlanWarningText& t = PlanWarningTexts[static_cast<size_t>(w.kind)];
    const std::string words = t.kind == w.kind ? t.words(w) : "unknown warning";
    return w.kind == PlanWarningKind::ReverseLeft ? Joined(subject, words) : words;
}

std::string PlanWarningWords(const PlanWarning& w) { return DescribePlanWarning(w, ""); }

std::string DescribeOpenProblem(const ImageModel& m) {
    const std::string at = Hex(m.table);
    switch (m.problem) {
        case OpenProblem::None: return {};
        case OpenProblem::TooLarge: return "the image is larger than 64 MiB: not a GBA ROM image";
        case OpenProblem::TableUnaligned: return "the table offset " + at + " is not word-aligned";
        case OpenProblem::TablePastEnd: return "the table offset " + at + " lies beyond the end of the image";
        case OpenProblem::TableNoEntries:
            return "no cry-table entry (20 3C 00 00 | pointer | FF 00 FF 00) at " + at +
                   "; give --entries N for a table whose entries carry other words";
        case OpenProblem::EntriesTooMany: return "a table of that many entries at " + at + " runs past the end of the image";
    }
    return {};
}

std::string DescribeImageCut(const ImageCut& cut) {
    std::string text = "the image is " + std::to_string(cut.size) + " bytes, shorter than ";
    if (cut.gameSize) text += "the games' " + std::to_string(cut.gameSize);
    if (cut.gameSize && cut.entry >= 0) text += " and than ";
    if (cut.entry >= 0) text += "entry " + std::to_string(cut.entry) + " says (it points at " + Hex(cut.pointedPast) + ")";
    return text + ": it looks cut short, and what lay past its end is lost";
}

std::string DescribeFitMissing(uint64_t missing, uint32_t minHz, bool budget) {
    return "even with every cry at its lowest rate (none below " + std::to_string(minHz) + " Hz) the pack needs " +
           Bytes(missing) + " more than " + (budget ? "the budget" : "the space the import may use") +
           "; free more space (--reclaim, --free-start/--free-end) or allow a lower --min-rate";
}

std::string DescribeFitWouldFit(uint32_t lowestHz) {
    return "--fit would fit the pack by lowering rates, no cry going below " + std::to_string(lowestHz) + " Hz";
}

const char* GradeWord(QualityGrade grade) {
    switch (grade) {
        case QualityGrade::Exact: return "exact";
        case QualityGrade::Good: return "good";
        case QualityGrade::Fair: return "fair";
        case QualityGrade::Poor: return "poor";
    }
    return "unknown";
}

std::string HeardWarningWords(const HeardWarning& w) {
    switch (w.code) {
        case HeardWarningCode::CutInNormal:
            return "the game cuts it short in the normal mode: " + Seconds(w.secondsHeard) + " heard (echo included) of " +
                   Seconds(w.secondsStored) + " stored";
        case HeardWarningCode::CutInModes: return "the game also cuts it short in the modes " + ModeNames(w);
        case HeardWarningCode::RateAboveMixer:
            return "at " + std::to_string(w.rateHz) + " Hz it takes " + Bytes(w.bytes) + "; the game mixes at " +
                   std::to_string(MaxUsefulRateHz) + " Hz and plays nothing finer: at that rate it would take " +
                   Bytes(w.bytesAtMixerRate) + ", " + Bytes(w.bytes - w.bytesAtMixerRate) + " fewer";
        case HeardWarningCode::WrapsWithChorus:
            return "with the chorus voice of " + ModeNames(w) + " its sum wraps past the 8-bit range (" +
                   std::to_string(w.wrapped) + " values at most): it crackles";
        case HeardWarningCode::LoudnessOff:
            return "heard at " + Decibels(w.loudnessDb) + ", " + Decibels(std::abs(w.loudnessDb - w.medianDb)) +
                   (w.loudnessDb > w.medianDb ? " louder" : " quieter") + " than the table's other cries (median " +
                   Decibels(w.medianDb) + ")";
    }
    return "unknown warning";
}

std::string WarningText(const AudioWarning& w) {
    char text[256] = "";
    switch (w.code) {
        case AudioWarningCode::MixLostEnergy:
            std::snprintf(text, sizeof text,
                          "mixing the %d channels kept %.0f %% of the louder one's energy (out of phase?); "
                          "use --channel left or --channel right",
                          w.channels, w.keptPercent);
            break;
        case AudioWarningCode::Clipping:
            std::snprintf(text, sizeof text,
                          "%llu samples lie beyond full scale and are clipped; lower the gain or use --normalize",
                          static_cast<unsigned long long>(w.clipped));
            break;
        case AudioWarningCode::DcOffset:
            std::snprintf(text, sizeof text,
                          "the sound sits %.1f %% of full scale off centre, which clicks at its ends; use --dc-remove",
                          w.offsetPercent);
            break;
        case AudioWarningCode::PoorEncoding: {
            const bool fast = w.mode == EncodeMode::Fast;
            std::snprintf(text, sizeof text, "%s coding keeps this sound poorly (SNR %.1f dB, peak error %d steps); lower the gain%s",
                          fast ? "fast" : "best", w.snrDb, w.peakError, fast ? " or use --quality best" : "");
            break;
        }
        case AudioWarningCode::LoudnessShort:
            std::snprintf(text, sizeof text,
                          "its loudness as heard reaches %.1f dB, %.1f dB short of the %.1f dB asked for: more gain "
                          "would clip its peaks",
                          w.heardDb, w.targetDb - w.heardDb, w.targetDb);
            break;
        case AudioWarningCode::RateMismatch: {
            const bool slow = w.wavRate > w.sampleRate;
            std::snprintf(text, sizeof text,
                          "the WAV is at %.0f Hz but its bytes would play at %.0f Hz, %.2f times too %s; "
                          "resample it (no --raw) or keep its rate (--keep-rate)",
                          w.wavRate, w.sampleRate, slow ? w.wavRate / w.sampleRate : w.sampleRate / w.wavRate,
                          slow ? "slow" : "fast");
            break;
        }
    }
    return text;
}
