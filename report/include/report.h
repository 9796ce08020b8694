// The machine shapes of what the image model and the core report, one per
// kind of thing, written the same by every front end: the command line's
// --json output and the browser page's binding. Every key is present, null
// where there is nothing; codes are stable names; rates are whole Hz; offsets
// are file offsets as numbers. Texts are the front end's own: where a shape
// carries one (a warning's message), the front end words it.
#pragma once

#include <map>
#include <string>

#include "conditioning.h"
#include "hearing.h"
#include "image.h"
#include "json.h"
#include "plan.h"
#include "usage.h"

// Why an image could not be opened as asked, as a stable name ("TooLarge").
const char* OpenProblemName(OpenProblem problem);

// How the table in use was found, as a stable name ("Known", "Moved").
const char* TableSourceName(TableSource source);

// What the image says it is: the release's label (UTF-8), the game code (a
// string of its four bytes as they are, "" in an image too short to hold
// one), the revision byte (null when unreadable), and the release's own table
// offset (null for an image no release matches).
Json IdentityJson(const ImageModel& m);

// A sample: offset, kind (SampleKindName), sound, and, only for a sound,
// length (values), rate, seconds and bytes.
Json SampleJson(const SampleInfo& s);

// A table entry: its ID (null for an entry no ID reaches), index, offset,
// pointer word (null past the image), whether the reverse table's entry is in
// step (null without one), the sample it points at (null when it points
// outside the image), the other entries that play that sample
// (`shared_with`, EntriesPlaying) and the stem of the cry's file name.
Json EntryJson(ImageBytes image, const ImageModel& model, IdRule rule, const EntryRow& row);

Json PointerJson(const PointerUpdate& u);
// A half-open byte range: start, end.
Json SpanJson(Span s);
Json VoiceJson(const VoiceUpdate& v);

// Where a measured cry table stops short of the games' size, null when it
// does not: the reason (TableStopName), the entry where it stops and its
// offset, the wrong word, how many entries after it carry the words again,
// and the games' size.
Json TableStopJson(const TableShortfall& s);

// The cry table in use and what lies around it: its offset (null without
// one), entries, how it was found (TableSourceName), the code's words that point
// at it, the reverse table with its entries and words, the release's table
// the code no longer points at, the cry tables the code points at when
// several (ambiguous: a command that writes needs one named), and where a
// measured table stops short (`stop`, TableStopJson).
// Also the cry table the code points at when a given one is not (null
// otherwise), and an image shorter than it should be (ImageCutJson).
Json TableJson(const ImageModel& m, const TableShortfall& stop, const std::optional<ImageCut>& cut = std::nullopt);
// An image cut short, null when it is not: its size, the games' size (null
// for an unknown release), the furthest offset past the end an entry points
// at and that entry's index (both null for none).
Json ImageCutJson(const std::optional<ImageCut>& cut);

// A plan problem: its kind (ProblemName), the entry (index -1 for none) and
// the IDs that reach it, offset, bytes, room, and for Protected the part
// that would be overwritten.
Json ProblemJson(const Problem& p, IdRule rule);
const char* ProtectedPartName(ProtectedPart part);

// Front ends word what the model reports; a shape that carries a message
// takes the front end's wording function (null: the message is null).
template <class T>
using WordsOf = std::string (*)(const T&);

// A plan warning: its code (PlanWarningName), `message`, the entry and its
// IDs (index -1 and no IDs for none), and the fields its code names, the
// others null: table and in_use (TableNotInUse); size, game_size and
// pointed_past (ImageCut); pointer (ReverseLeft, where the reverse entry
// stays pointing).
Json PlanWarningJson(const PlanWarning& w, IdRule rule, WordsOf<PlanWarning> words = nullptr);

// A plan: ok, its problems, its warnings (PlanWarningJson), one row per cry
// (IDs under `rule`; the entries still playing its old sample, whether they
// changed with it, and the entry whose identical new sample it points at,
// `same_as`), the spans it
// writes (new samples, and FF over reclaimed slots), the pointer words and
// voice bytes that change, the slots reclaimed and the free space.
// `extra` holds, per index, fields a front end adds to its cry's row (e.g.
// the encoding's SNR, snr_db, null otherwise).
Json PlanJson(const Plan& plan, IdRule rule, const std::map<int, Json>& extra = {},
              WordsOf<PlanWarning> words = nullptr);

// What the table's samples take (MeasureUsage): samples, bytes, by kind
// (kind, samples, bytes) and by rate (rate, samples, bytes), free_bytes,
// duplicates (entries, ids, offsets, bytes of one copy, saved) and
// duplicate_bytes, and the ladder (rate, bytes, freed).
Json UsageJson(const TableUsage& u, IdRule rule);

// A warning of the conditioning or the encoding: its code, the `message` the
// front end words it with (null when the front end words it from the fields
// itself), and the fields its code names (the others null).
const char* AudioWarningName(AudioWarningCode code);
using WarningWords = std::string (*)(const AudioWarning&);
Json WarningJson(const AudioWarning& w, WarningWords words = nullptr);
Json WarningsJson(const AudioWarnings& warnings, WarningWords words = nullptr);

// An entry as heard in the normal mode (HeardFigures): seconds_heard, cut,
// loudness_db (null for silence); null for an entry that holds no sound.
Json HeardJson(const std::optional<HeardFigures>& heard);

// A render's figures in a mode, as `render --json` and the page give them:
// mode (its name), number, playable, seconds_stored, seconds_heard, cut,
// peak, wrapped, rms_db.
Json RenderFiguresJson(const CryMode& mode, const PlaybackFigures& figures);

// A warning of what the game will play of a new sample: its code
// (HeardWarningName), `message`, and the fields its code names, the others
// null: seconds_stored and seconds_heard (CutInNormal); modes, the names of
// the modes (CutInModes, WrapsWithChorus); wrapped (WrapsWithChorus); rate,
// bytes, bytes_at_mixer_rate and extra_bytes (RateAboveMixer); loudness_db
// and median_db (LoudnessOff).
Json HeardWarningJson(const HeardWarning& w, WordsOf<HeardWarning> words = nullptr);
Json HeardWarningsJson(const HeardWarnings& warnings, WordsOf<HeardWarning> words = nullptr);
