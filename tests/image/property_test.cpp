// Random edit sequences through the image model, each step checked against
// a small model the test keeps: where every entry points and what its cry
// decodes to and the kind its voice byte declares. Images in three layouts
// (the encoder's habits; the games' packed samples with a reverse table and
// the code's pointer words; hacks of those, with cries stored uncompressed
// or at other rates and the tables moved and extended, the old ones left
// dead); steps replace cries with samples of either kind in place, move
// them to free space, repoint entries and import several cries at once, with
// and without reclaiming the slots moved cries leave. After every step: each
// cry decodes as the model says (so a cry not edited decodes exactly as
// before), the entries point where the model says, the reverse table is in
// step wherever it was, nothing outside the plan's declared spans changed, a
// new sample went only into free or reclaimed bytes, and a refused plan
// changed nothing. BREVOX_PROPERTY_RUNS sets the number of sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>

#include "image.h"
#include "plan.h"
#include "testdata.h"

namespace {

constexpr int StepsPerSequence = 8;

int Sequences() {
    const char* runs = std::getenv("BREVOX_PROPERTY_RUNS");
    return runs ? std::max(1, std::atoi(runs)) : 200;
}

// What the test expects of every entry of the cry table.
struct CryModel {
    std::vector<uint32_t> offset;
    std::vector<std::optional<Bytes>> values;  // none for an entry with no sound
    std::vector<bool> reverseInStep;
    std::vector<std::optional<SampleKind>> voice;  // the kind each cry entry declares
};

std::optional<Bytes> Decoded(const Bytes& image, uint32_t offset) {
    const SampleInfo s = InspectSample(image, offset);
    if (!s.Sound()) return std::nullopt;
    return DecodeToUnsigned(image, s);
}

CryModel ModelOf(const Bytes& image, const ImageModel& m) {
    CryModel c;
    for (int i = 0; i < m.entries; ++i) {
        c.offset.push_back(ReadEntry(image, m.table, i).offset);
        c.values.push_back(Decoded(image, c.offset.back()));
        c.voice.push_back(VoiceKind(ReadEntry(image, m.table, i).firstWord, TableKind::Cry));
    }
    for (int i = 0; i < m.reverseEntries; ++i) c.reverseInStep.push_back(ReverseInStep(image, m, i));
    return c;
}

// A hack of a games'-layout image: a few cries uncompressed or at other
// rates, and half the time the tables moved and extended.
Bytes MakeHack(std::mt19937& rng, int count) {
    HackPlan hack;
    hack.base = GameRomPlan(count, rng());
    hack.base.size = 0x40000;
    for (int n = 1 + rng() % 3; n > 0; --n) hack.uncompressed.push_back(static_cast<int>(rng() % count));
    hack.rates.push_back({static_cast<int>(rng() % count), rng() % 2 ? 13379u : 22050u});
    if (rng() % 2) {
        hack.move = rng() % 2 ? TableMove::Together : TableMove::Apart;
        for (int n = 1 + rng() % 8; n > 0; --n) hack.added.push_back(Noise(2 + rng() % 300, rng()));
    }
    std::sort(hack.uncompressed.begin(), hack.uncompressed.end());
    hack.uncompressed.erase(std::unique(hack.uncompressed.begin(), hack.uncompressed.end()), hack.uncompressed.end());
    return MakeHackRom(hack).rom;
}

Bytes MakeImage(std::mt19937& rng) {
    const int count = std::uniform_int_distribution<int>(6, 40)(rng);
    if (rng() % 3 == 0) return MakeHack(rng, count);
    if (rng() % 2) return MakeRom(GameRomPlan(count, rng()));
    RomPlan plan;
    for (int i = 0; i < count; ++i) plan.cries.push_back(Noise(1 + rng() % 400, rng()));
    return MakeRom(plan);
}

std::vector<uint8_t> Sample(const Bytes& values, SampleKind kind) {
    return MakeSample(kind, values, GameRateField, EncodeMode::Fast);
}

// One random step: the request, and the values each replaced cry decodes to.
struct Step {
    EditRequest request;
    std::map<int, Bytes> values;
    std::map<int, SampleKind> kinds;
    std::string what;
};

Step RandomStep(std::mt19937& rng, const CryModel& c) {
    const int entries = static_cast<int>(c.offset.size());
    auto anyIndex = [&] { return static_cast<int>(rng() % entries); };
    Step step;
    step.request.reclaim = rng() % 2;
    step.request.allSharing = rng() % 2;
    Bytes last;  // an import gives some cries the sound of the one before, to be stored once
    const int kind = rng() % 4;
    auto replace = [&](int index, CryChange::Place place) {
        if (step.values.count(index)) return;
        Bytes values = rng() % 2 ? Noise(1 + rng() % 500, rng()) : Tone(1 + rng() % 500, 200 + rng() % 2000);
        if (place == CryChange::Place::Auto && !last.empty() && rng() % 3 == 0) values = last;
        // In place, mostly a sound that fits the old slot.
        if (place == CryChange::Place::InPlace && c.values[index] && rng() % 4)
            values.resize(std::max<size_t>(1, std::min(values.size(), c.values[index]->size())));
        last = values;
        const SampleKind kind = rng() % 3 ? SampleKind::Compressed : SampleKind::Uncompressed;
        const std::vector<uint8_t> sample = Sample(values, kind);
        step.request.cries.push_back({index, sample, place});
        step.values[index] = DecodeValues(sample, 0).value;  // the values as coded
        step.kinds[index] = kind;
    };
    if (kind == 0) {
        replace(anyIndex(), CryChange::Place::InPlace);
        step.what = "in place";
    } else if (kind == 1) {
        replace(anyIndex(), CryChange::Place::Free);
        step.what = "to free space";
    } else if (kind == 2) {
        step.request.repoints.push_back({anyIndex(), c.offset[anyIndex()]});
        step.what = "repoint";
    } else {
        for (int n = 2 + rng() % 3; n > 0; --n) replace(anyIndex(), CryChange::Place::Auto);
        step.what = "import";
    }
    if (step.request.reclaim) step.what += " with reclaim";
    return step;
}

// Every byte outside `spans` is as it was.
bool OnlySpansChanged(const Bytes& before, const Bytes& after, std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.start < b.start; });
    uint32_t from = 0;
    for (const Span& s : spans) {
        if (s.start > from && !std::equal(before.begin() + from, before.begin() + s.start, after.begin() + from))
            return false;
        from = std::max(from, s.end);
    }
    return std::equal(before.begin() + std::min<size_t>(from, before.size()), before.end(),
                      after.begin() + std::min<size_t>(from, after.size()));
}

// The model after an applied plan: each replaced cry's new values and kind
// at its new offset; a slot written in place changes under the other entries
// that point at it only with allSharing (the entries this plan changes take
// their own). A repointed entry takes the values and kind of the sample it
// now points at.
void Advance(CryModel& c, const Step& step, const Plan& plan) {
    for (const CryPlan& cp : plan.cries) {
        if (cp.replaced) {
            const Bytes& values = step.values.at(cp.index);
            const SampleKind kind = step.kinds.at(cp.index);
            if (!cp.moved && step.request.allSharing) {
                for (size_t j = 0; j < c.offset.size(); ++j)
                    if (c.offset[j] == cp.oldOffset) c.values[j] = values, c.voice[j] = kind;
            }
            c.values[cp.index] = values;
            c.voice[cp.index] = kind;
        } else {
            const auto sharer = std::find(c.offset.begin(), c.offset.end(), cp.newOffset);
            c.values[cp.index] = c.values[sharer - c.offset.begin()];
            if (cp.moved) c.voice[cp.index] = c.voice[sharer - c.offset.begin()];
        }
        c.offset[cp.index] = cp.newOffset;
    }
}

void CheckStep(const Bytes& before, const Bytes& after, const ImageModel& m, const Plan& plan, const CryModel& c) {
    ASSERT_EQ(after.size(), before.size());
    std::vector<Span> spans;
    for (const Write& w : plan.writes) spans.push_back(w.Bytes());
    for (const PointerUpdate& u : plan.pointers) spans.push_back({u.at, u.at + 4});
    for (const VoiceUpdate& v : plan.voices) spans.push_back({v.at, v.at + 1});
    EXPECT_TRUE(OnlySpansChanged(before, after, spans));
    for (const CryPlan& cp : plan.cries) {
        if (!cp.replaced || !cp.moved || cp.sameAs >= 0) continue;
        // A moved cry's new bytes were free (FF) or reclaimed by this plan.
        const Span to{cp.newOffset, cp.newOffset + cp.newBytes};
        const bool reclaimed = std::any_of(plan.reclaimed.begin(), plan.reclaimed.end(), [&](Span r) { return r.Overlaps(to); });
        EXPECT_TRUE(reclaimed || std::all_of(before.begin() + to.start, before.begin() + to.end, [](uint8_t b) { return b == 0xFF; }))
            << "cry " << cp.index << " written at " << to.start;
    }
    const ImageModel reopened = OpenImage(after);
    EXPECT_EQ(reopened.table, m.table);
    EXPECT_EQ(reopened.entries, m.entries);
    EXPECT_EQ(reopened.reverse, m.reverse);
    for (int i = 0; i < m.entries; ++i) {
        EXPECT_EQ(ReadEntry(after, m.table, i).offset, c.offset[i]) << "entry " << i;
        EXPECT_TRUE(!c.values[i] || Decoded(after, c.offset[i]) == c.values[i]) << "cry " << i;
        EXPECT_EQ(VoiceKind(ReadEntry(after, m.table, i).firstWord, TableKind::Cry), c.voice[i]) << "voice " << i;
    }
    for (int i = 0; i < m.reverseEntries; ++i) EXPECT_EQ(ReverseInStep(after, m, i), c.reverseInStep[i]) << "reverse " << i;
}

TEST(ImageProperty, RandomEditSequencesKeepEveryOtherCryAndTheTablesInStep) {
    int applied = 0, steps = 0;
    for (int sequence = 0; sequence < Sequences(); ++sequence) {
        std::mt19937 rng(sequence);
        Bytes image = MakeImage(rng);
        const ImageModel model = OpenImage(image);
        ASSERT_TRUE(model.HasTable()) << "sequence " << sequence;
        CryModel c = ModelOf(image, model);
        for (int n = 0; n < StepsPerSequence; ++n, ++steps) {
            const Step step = RandomStep(rng, c);
            SCOPED_TRACE("sequence " + std::to_string(sequence) + ", step " + std::to_string(n) + ": " + step.what);
            const Plan plan = PlanEdits(image, model, step.request);
            const Bytes before = image;
            ASSERT_EQ(ApplyPlan(plan, image), plan.Ok());
            if (!plan.Ok()) {
                ASSERT_EQ(image, before);
                continue;
            }
            ++applied;
            Advance(c, step, plan);
            CheckStep(before, image, model, plan, c);
            if (testing::Test::HasFailure()) return;
        }
    }
    // Most steps must do something, or the sequences test little.
    EXPECT_GT(applied, steps / 2);
}

}  // namespace
