// The image model on images in both layouts: what it reads (tables and their
// extent, the reverse table, samples and their bytes, free space) and what
// its plans write. Random edit sequences are the property test's; these are
// the cases that pin each rule down.
#include <gtest/gtest.h>

#include <algorithm>

#include "hearing.h"
#include "image.h"
#include "plan.h"
#include "request.h"
#include "testdata.h"
#include "usage.h"

namespace {

// The sample bytes EncodeSample writes for `sound`.
std::vector<uint8_t> Encoded(const Bytes& sound) {
    std::vector<uint8_t> sample(SampleExtent(static_cast<uint32_t>(sound.size())));
    EncodeSample(sound, sample);
    return sample;
}

// The values a sample decodes to.
Bytes EncodedValues(const std::vector<uint8_t>& sample) { return DecodedCry(Bytes(sample.begin(), sample.end()), 0); }

struct GameImage : testing::Test {
    RomPlan plan = GameRomPlan();
    Bytes rom = MakeRom(plan);
    ImageModel model = OpenImage(rom);

    uint32_t SampleOf(int index) const { return CrySampleOffset(rom, plan, index); }
    // Every byte but those in `spans` is as in `before`.
    static void ExpectOnlyChanged(const Bytes& before, const Bytes& after, const std::vector<Span>& spans) {
        ASSERT_EQ(before.size(), after.size());
        for (size_t i = 0; i < before.size(); ++i) {
            const bool declared = std::any_of(spans.begin(), spans.end(), [&](Span s) { return i >= s.start && i < s.end; });
            if (!declared) {
                ASSERT_EQ(before[i], after[i]) << "byte " << i;
            }
        }
    }
    Plan Apply(const EditRequest& request) {
        Plan p = PlanEdits(rom, model, request);
        if (p.Ok()) {
            Bytes before = rom;
            EXPECT_TRUE(ApplyPlan(p, rom));
            std::vector<Span> spans;
            for (const Write& w : p.writes) spans.push_back(w.Bytes());
            for (const PointerUpdate& u : p.pointers) spans.push_back({u.at, u.at + 4});
            ExpectOnlyChanged(before, rom, spans);
        }
        return p;
    }
};

TEST_F(GameImage, ReadsTheTablesAndTheirExtent) {
    EXPECT_EQ(model.source, TableSource::Scan);
    EXPECT_EQ(model.table, plan.tableOffset);
    EXPECT_EQ(model.entries, GameTableEntries);
    ASSERT_TRUE(model.reverse);
    EXPECT_EQ(*model.reverse, ReverseTableOffset(plan));
    EXPECT_EQ(model.reverseEntries, GameTableEntries);
    for (int i = 0; i < model.entries; ++i) ASSERT_TRUE(ReverseInStep(rom, model, i)) << i;
    // IDs 389 to 411 fall past the cry table, onto the reverse table.
    EXPECT_EQ(IdsOfIndex(387, IdRule::CryNumber), std::vector<int>{388});
    EXPECT_EQ(IdsOfIndex(387, IdRule::SpeciesNumber), std::vector<int>{411});
    EXPECT_TRUE(IdsOfIndex(390, IdRule::SpeciesNumber).empty());
    // The free tail, not the FF run among the program bytes.
    EXPECT_EQ(FreeTail(rom).start, FreeTailOffset(rom));
    EXPECT_EQ(FreeTail(rom).end, rom.size());
    const std::vector<Span> runs = FreeRuns(rom, {0, static_cast<uint32_t>(rom.size())}, 16);
    ASSERT_GE(runs.size(), 2u);
    EXPECT_EQ(runs[0].start, GameDecoyFreeRun);
    EXPECT_EQ(runs[0].Size(), GameDecoyFreeSize);
}

// One damaged word in entry 4 stops the measured table there; the model
// names the word and counts the entries that carry the words after it.
TEST_F(GameImage, ATableCutByOneDamagedEntrySaysWhereAndWhatFollows) {
    EXPECT_EQ(CheckTableLength(rom, model).stop, TableStop::None);
    const uint32_t entry = plan.tableOffset + CryEntrySize * 4;
    const struct {
        uint32_t at, word;
        TableStop stop;
    } cases[] = {{entry, 0x12345678, TableStop::VoiceWord},
                 {entry + CryEntryPointerOfs, 0, TableStop::Pointer},
                 {entry + CryEntryPointerOfs, RomAddressBase | static_cast<uint32_t>(rom.size()), TableStop::Pointer},
                 {entry + EntryLastWordOfs, 0xFFFFFFFF, TableStop::LastWord}};
    for (const auto& c : cases) {
        Bytes cut = rom;
        PutLe32(&cut[c.at], c.word);
        const TableRequest given{.offset = plan.tableOffset, .entries = {}};
        const TableShortfall s = CheckTableLength(cut, OpenImage(cut, given));
        EXPECT_EQ(s.stop, c.stop) << TableStopName(c.stop);
        EXPECT_EQ(s.index, 4);
        EXPECT_EQ(s.at, entry);
        EXPECT_EQ(s.word, c.word);
        EXPECT_EQ(s.resumes, GameTableEntries - 5);
        // The entries past the damaged one are the same table's, not a table no longer used.
        EXPECT_FALSE(OpenImage(cut, {}).unusedTable) << TableStopName(c.stop);
        // Stating the size reads past the damaged entry.
        const ImageModel stated = OpenImage(cut, {.offset = plan.tableOffset, .entries = s.index + 1 + s.resumes});
        EXPECT_EQ(stated.entries, GameTableEntries);
    }
}

// An image cut short: entry 4 of both tables points past its end. With the
// size stated, the entries past the cut are read in both tables, and an entry
// moved to free space takes its reverse entry along; one whose reverse entry
// already pointed elsewhere leaves it and says so.
TEST_F(GameImage, ACutImageSaysSoAndEditsKeepTheTablesInStep) {
    EXPECT_FALSE(CheckImageSize(rom, model));
    const uint32_t past = RomAddressBase | static_cast<uint32_t>(rom.size() + 0x1000);
    PutLe32(&rom[plan.tableOffset + CryEntrySize * 4 + CryEntryPointerOfs], past);
    PutLe32(&rom[ReverseTableOffset(plan) + CryEntrySize * 4 + CryEntryPointerOfs], past);
    PutLe32(&rom[ReverseTableOffset(plan) + CryEntrySize * 7 + CryEntryPointerOfs], RomAddressBase | SampleOf(1));
    const ImageModel measured = OpenImage(rom);
    EXPECT_EQ(measured.entries, 4);
    const std::optional<ImageCut> cut = CheckImageSize(rom, measured);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size, rom.size());
    EXPECT_EQ(cut->gameSize, 0u);  // an unknown release
    EXPECT_EQ(cut->pointedPast, past & RomAddressMask);
    EXPECT_EQ(cut->entry, 4);

    model = OpenImage(rom, {.offset = plan.tableOffset, .entries = 17});
    EXPECT_EQ(model.reverseEntries, 17);
    EditRequest request;
    for (int i : {6, 7}) request.cries.push_back({i, Encoded(Noise(500, i)), CryChange::Place::Free});
    const Plan p = Apply(request);
    ASSERT_TRUE(p.Ok());
    EXPECT_TRUE(ReverseInStep(rom, model, 6));
    EXPECT_TRUE(p.cries[0].reverseMoved);
    EXPECT_FALSE(p.cries[1].reverseMoved);
    EXPECT_EQ(ReadEntry(rom, ReverseTableOffset(plan), 7).offset, SampleOf(1));
    ASSERT_EQ(p.warnings.size(), 2u);
    EXPECT_EQ(p.warnings[0].kind, PlanWarningKind::ImageCut);
    EXPECT_EQ(p.warnings[1].kind, PlanWarningKind::ReverseLeft);
    EXPECT_EQ(p.warnings[1].index, 7);
    EXPECT_EQ(p.warnings[1].pointer, SampleOf(1));
}

// What cannot be decoded is refused as an edit refuses it.
TEST_F(GameImage, OnlySoundsDecode) {
    Bytes bad = rom;
    PutLe32(&bad[SampleOf(6) + SampleLengthOfs], 0x7FFFFFFF);
    const struct {
        uint32_t at;
        std::optional<PlanProblem> problem;
    } cases[] = {{SampleOf(6), std::nullopt},
                 {SampleOf(6) + 1, PlanProblem::NotASample},
                 {static_cast<uint32_t>(rom.size() - 8), PlanProblem::PastEnd}};
    for (const auto& c : cases) {
        const std::optional<Problem> p = DecodeProblem(rom, c.at, 6);
        EXPECT_EQ(p ? std::optional(p->kind) : std::nullopt, c.problem) << c.at;
        if (p) {
            EXPECT_EQ(p->offset, c.at);
        }
    }
    ASSERT_TRUE(DecodeProblem(bad, SampleOf(6)));
    EXPECT_EQ(DecodeProblem(bad, SampleOf(6))->kind, PlanProblem::NotASample);
    EXPECT_EQ(DefaultsForEntry(rom, model, 6).rateField, GameRateField);
    EXPECT_EQ(FormatNamed("uncompressed")->kind, SampleKind::Uncompressed);
    EXPECT_EQ(FormatNamed("other"), nullptr);
}

TEST_F(GameImage, ExtentsFromTheStoredLengthStopBeforeTheNextCry) {
    for (int i = 0; i + 1 < model.entries; ++i) {
        const SampleInfo s = InspectSample(rom, SampleOf(i));
        ASSERT_TRUE(s.Sound()) << i;
        EXPECT_EQ(s.length, plan.cries[i].size() - 1) << i;
        EXPECT_LE(s.Bytes().end, SampleOf(i + 1)) << i;
        EXPECT_GE(s.Bytes().end + 4, SampleOf(i + 1)) << i;
    }
}

TEST(Image, InspectsCompressedAndUncompressedSamples) {
    RomPlan plan;
    plan.cries = {Tone(300, 200), Tone(337, 250)};
    Bytes rom = MakeRom(plan);
    const SampleInfo s = InspectSample(rom, CrySampleOffset(rom, plan, 1));
    EXPECT_TRUE(s.Sound());
    EXPECT_EQ(s.extent, SampleExtent(337));
    EXPECT_DOUBLE_EQ(s.Rate(), 10512.0);
    Bytes expected(337);
    DecodeSample(rom, s.offset, expected);
    EXPECT_EQ(DecodeToUnsigned(rom, s), expected);

    const Bytes plain = Noise(100, 3);
    const uint32_t span = PutUncompressedSample(rom, 0x10000, plain);
    const SampleInfo u = InspectSample(rom, 0x10000);
    EXPECT_TRUE(u.Sound());
    EXPECT_EQ(u.extent, span + 1);  // the loop value after the S values
    EXPECT_EQ(DecodeToUnsigned(rom, u), plain);

    // Any rate a game could play is a sound; a loop word, a stray upper
    // length half or a cut-off sample is not.
    struct { uint32_t at; uint32_t word; bool sound; } headers[] = {
        {SampleRateOfs, 22050 * 1024, true}, {SampleRateOfs, 70000 * 1024, false},
        {8, 1, false},                      {SampleLengthOfs, 0x10064, false}};
    for (auto h : headers) {
        Bytes copy = rom;
        PutLe32(&copy[s.offset + h.at], h.word);
        EXPECT_EQ(InspectSample(copy, s.offset).Sound(), h.sound) << h.at << " " << h.word;
    }
    EXPECT_FALSE(InspectSample(rom, static_cast<uint32_t>(rom.size()) - 8).headerInFile);
    const Bytes cut(rom.begin(), rom.begin() + s.offset + s.extent - 1);
    EXPECT_FALSE(InspectSample(cut, s.offset).Sound());
}

TEST(Image, FindsAReverseTableElsewhereByItsPointers) {
    RomPlan plan;
    for (int i = 0; i < 20; ++i) plan.cries.push_back(Tone(300 + 37 * i, 200 + 50 * i));
    Bytes rom = MakeRom(plan);
    EXPECT_FALSE(FindReverseTable(rom, plan.tableOffset, 20));
    AddSecondTable(rom, plan, 0x18000, 0x1234);
    EXPECT_EQ(FindReverseTable(rom, plan.tableOffset, 20), 0x18000u);
    // Four of the sixteen compared entries out of step: still the table. Five: not.
    for (int i : {0, 3, 9, 15}) PutLe32(&rom[0x18000 + 12 * i + 4], RomAddressBase | 0x100);
    EXPECT_EQ(FindReverseTable(rom, plan.tableOffset, 20), 0x18000u);
    PutLe32(&rom[0x18000 + 12 * 7 + 4], RomAddressBase | 0x100);
    EXPECT_FALSE(FindReverseTable(rom, plan.tableOffset, 20));
}

TEST(Image, FreeRunsAreWordAlignedRunsOfFF) {
    Bytes rom(0x100, 0);
    std::fill(rom.begin() + 0x21, rom.begin() + 0x40, 0xFF);  // 31 bytes from an odd offset: 28 usable
    std::fill(rom.begin() + 0x80, rom.begin() + 0xA0, 0xFF);
    const std::vector<Span> runs = FreeRuns(rom, {0, 0x100});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].start, 0x24u);
    EXPECT_EQ(runs[0].Size(), 28u);
    EXPECT_EQ(runs[1].start, 0x80u);
    EXPECT_EQ(runs[1].Size(), 32u);
    EXPECT_EQ(FreeRuns(rom, {0x82, 0x9F})[0].start, 0x84u);
    EXPECT_EQ(FreeRuns(rom, {0x82, 0x9F})[0].end, 0x9Fu);
    EXPECT_EQ(FreeTail(rom).start, 0x100u);  // the image ends in data: no tail
    // The tail starts at the word after the last byte that is not FF, wherever
    // that byte falls against the chunks the tail is walked back in.
    for (size_t size : {0x3Fu, 0x40u, 0x41u, 0x1000u}) {
        for (size_t last : {size_t{0}, size_t{1}, size_t{62}, size_t{63}, size_t{64}, size_t{65}, size_t{0xFFE}}) {
            if (last >= size) continue;
            Bytes tail(size, 0xFF);
            tail[last] = 0x12;
            EXPECT_EQ(FreeTail(tail).start, std::min<size_t>((last + 4) & ~size_t{3}, size)) << size << ", " << last;
        }
        EXPECT_EQ(FreeTail(Bytes(size, 0xFF)).start, 0u) << size;
    }
    EXPECT_EQ(ToFileOffset(0x08452590), 0x452590u);
    EXPECT_EQ(ToFileOffset(0x09000010), 0x1000010u);
}

// A known release's offset is checked: a table that moved is looked for.
TEST(Image, AKnownReleaseWhoseTableMovedIsFoundByTheScan) {
    RomPlan plan = GameRomPlan(30);
    plan.gameCode = "AXPJ";  // its table would lie at 0x414828
    plan.size = 0x420000;
    Bytes rom = MakeRom(plan);
    ImageModel moved = OpenImage(rom);
    EXPECT_EQ(moved.source, TableSource::Moved);
    EXPECT_EQ(moved.knownOffset, 0x414828u);
    EXPECT_EQ(moved.table, plan.tableOffset);
    EXPECT_EQ(moved.entries, 30);

    // A copy at the release's offset that the code does not point at is
    // dead; once the code's words point at it, it is the table in use.
    std::copy_n(rom.begin() + plan.tableOffset, 12 * 30, rom.begin() + 0x414828);
    ImageModel dead = OpenImage(rom);
    EXPECT_EQ(dead.source, TableSource::Moved);
    EXPECT_EQ(dead.table, plan.tableOffset);
    EXPECT_EQ(dead.unusedTable, 0x414828u);
    // Named, the dead table is read, and an edit there says which table the game reads.
    const ImageModel named = OpenImage(rom, {.offset = 0x414828u, .entries = {}});
    EXPECT_EQ(named.tableInUse, plan.tableOffset);
    EXPECT_FALSE(OpenImage(rom, {.offset = plan.tableOffset, .entries = {}}).tableInUse);
    EditRequest repoint;
    repoint.repoints.push_back({3, CrySampleOffset(rom, plan, 1)});
    const Plan intoDead = PlanEdits(rom, named, repoint);
    ASSERT_TRUE(intoDead.Ok());
    ASSERT_EQ(intoDead.warnings.size(), 2u);
    EXPECT_EQ(intoDead.warnings[0].kind, PlanWarningKind::TableNotInUse);
    EXPECT_EQ(intoDead.warnings[0].table, 0x414828u);
    EXPECT_EQ(intoDead.warnings[0].inUse, plan.tableOffset);
    // A known release's image shorter than the games' 16 MiB is cut.
    EXPECT_EQ(intoDead.warnings[1].kind, PlanWarningKind::ImageCut);
    EXPECT_EQ(intoDead.warnings[1].size, rom.size());
    EXPECT_EQ(intoDead.warnings[1].gameSize, GameImageSize);
    EXPECT_EQ(intoDead.warnings[1].index, -1);
    for (uint32_t word : GameCryTableWords) PutLe32(&rom[word], 0x08414828);
    ImageModel known = OpenImage(rom);
    EXPECT_EQ(known.source, TableSource::Known);
    EXPECT_EQ(known.table, 0x414828u);
    EXPECT_FALSE(known.unusedTable);

    struct { TableRequest request; OpenProblem problem; } given[] = {
        {{0x1002, {}}, OpenProblem::TableUnaligned},
        {{0x500000, {}}, OpenProblem::TablePastEnd},
        {{0x2000, {}}, OpenProblem::TableNoEntries},
        {{0x2000, 5}, OpenProblem::None},
        {{0x41FFF0, 5}, OpenProblem::EntriesTooMany},
    };
    for (const auto& g : given) EXPECT_EQ(OpenImage(rom, g.request).problem, g.problem) << *g.request.offset;
}

TEST_F(GameImage, ASameLengthCryInPlaceLeavesItsNeighbour) {
    const uint32_t at = SampleOf(10);
    const uint16_t stored = GetLe16(&rom[at + SampleLengthOfs]);
    const Bytes next = DecodedCry(rom, SampleOf(11));
    EditRequest request;
    request.cries.push_back({10, Encoded(Noise(stored, 5)), CryChange::Place::InPlace});
    const Plan p = Apply(request);
    ASSERT_TRUE(p.Ok());
    EXPECT_TRUE(p.pointers.empty());
    EXPECT_EQ(p.writes[0].Bytes().end, at + SampleExtent(stored));
    EXPECT_EQ(DecodedCry(rom, SampleOf(11)), next);
}

TEST_F(GameImage, ACryTooLongForItsSlotIsRefusedInPlaceAndMovedByAuto) {
    const uint32_t at = SampleOf(20);
    const uint16_t stored = GetLe16(&rom[at + SampleLengthOfs]);
    const std::vector<uint8_t> longer = Encoded(Noise(stored + 3u, 6));
    EditRequest inPlace;
    inPlace.cries.push_back({20, longer, CryChange::Place::InPlace});
    const Plan refused = PlanEdits(rom, model, inPlace);
    ASSERT_EQ(refused.problems.size(), 1u);
    EXPECT_EQ(refused.problems[0].kind, PlanProblem::DoesNotFit);
    EXPECT_EQ(refused.problems[0].offset, at);
    EXPECT_EQ(refused.problems[0].bytes, longer.size());
    EXPECT_EQ(refused.problems[0].room, SampleExtent(stored));

    EditRequest autoPlace;
    autoPlace.cries.push_back({20, longer, CryChange::Place::Auto});
    const Plan p = Apply(autoPlace);
    ASSERT_TRUE(p.Ok());
    EXPECT_EQ(p.cries[0].newOffset, FreeTailOffset(MakeRom(plan)));
    ASSERT_EQ(p.pointers.size(), 2u);  // both tables, in step
    EXPECT_TRUE(ReverseInStep(rom, model, 20));
    EXPECT_EQ(ReadEntry(rom, plan.tableOffset, 20).offset, p.cries[0].newOffset);
    EXPECT_EQ(p.bytesUsed, longer.size());
}

TEST_F(GameImage, ReclaimFillsTheOldSlotAndReusesIt) {
    // Two cries swap sizes: the bigger moves out, the smaller fits into what it left.
    const uint32_t a = SampleOf(30);
    const SampleInfo old = InspectSample(rom, a);
    const std::vector<uint8_t> big = Encoded(Noise(old.length + 200, 7));
    const std::vector<uint8_t> small = Encoded(Noise(old.length / 2, 7));
    EditRequest request;
    request.reclaim = true;
    request.cries.push_back({30, big, CryChange::Place::Auto});
    request.cries.push_back({31, small, CryChange::Place::Free});
    const Plan p = Apply(request);
    ASSERT_TRUE(p.Ok());
    ASSERT_EQ(p.reclaimed.size(), 2u);  // both slots: the small cry leaves its own too
    EXPECT_EQ(p.reclaimed[0].start, a);
    EXPECT_EQ(p.cries[1].newOffset, a);
    EXPECT_TRUE(std::all_of(rom.begin() + a + small.size(), rom.begin() + a + old.extent, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(DecodedCry(rom, a), Bytes(EncodedValues(small)));

    // A slot another entry still points at is never reclaimed.
    Bytes shared = MakeRom(plan);
    PutLe32(&shared[plan.tableOffset + 12 * 31 + 4], RomAddressBase | SampleOf(32));
    ImageModel m = OpenImage(shared);
    EditRequest moveShared;
    moveShared.reclaim = true;
    moveShared.cries.push_back({32, big, CryChange::Place::Auto});
    EXPECT_TRUE(PlanEdits(shared, m, moveShared).reclaimed.empty());
}

TEST_F(GameImage, ARefusedPlanNamesEveryProblem) {
    // Eight cries of 33 KiB each: the free tail of 190 KiB holds five.
    const std::vector<uint8_t> huge = Encoded(Noise(65535, 8));
    EditRequest request;
    request.cries.push_back({400, Encoded(Tone(10, 440)), CryChange::Place::Auto});
    request.cries.push_back({7, huge, CryChange::Place::InPlace});
    request.cries.push_back({7, huge, CryChange::Place::Auto});
    for (int i = 50; i < 58; ++i) request.cries.push_back({i, huge, CryChange::Place::Auto});
    request.repoints.push_back({8, SampleOf(9) + 2, false});
    request.repoints.push_back({500, SampleOf(9), false});  // past the table, with reclaim asked
    request.reclaim = true;
    request.share = false;  // eight copies of `huge`, stored apart
    const Plan p = PlanEdits(rom, model, request);
    std::vector<PlanProblem> kinds;
    for (const Problem& problem : p.problems) kinds.push_back(problem.kind);
    const size_t tailHolds = (rom.size() - FreeTailOffset(rom)) / ((huge.size() + 3) & ~size_t{3});
    std::vector<PlanProblem> expected = {PlanProblem::IndexPastTable, PlanProblem::DoesNotFit,
                                         PlanProblem::TwiceInOnePlan, PlanProblem::Unaligned,
                                         PlanProblem::IndexPastTable};
    expected.resize(5 + 8 - tailHolds, PlanProblem::NoFreeSpace);
    EXPECT_EQ(kinds, expected);
    EXPECT_TRUE(p.writes.empty());
    EXPECT_FALSE(ApplyPlan(p, rom));
}

TEST_F(GameImage, AForcedWriteNamesTheCriesItRunsOverAndSharersAreReported) {
    PutLe32(&rom[plan.tableOffset + 12 * 41 + 4], RomAddressBase | SampleOf(40));
    model = OpenImage(rom);
    const uint16_t stored = GetLe16(&rom[SampleOf(40) + SampleLengthOfs]);
    EditRequest request;
    request.cries.push_back({40, Encoded(Noise(stored + 2000u, 9)), CryChange::Place::InPlace, 0, true});
    request.allSharing = true;
    const Plan p = Apply(request);
    ASSERT_TRUE(p.Ok());
    EXPECT_EQ(p.cries[0].sharing, std::vector<int>{41});
    EXPECT_TRUE(p.cries[0].sharingChanged);
    // 41's old sample, which the reverse table still points at, then 42 on.
    ASSERT_GE(p.cries[0].overwritten.size(), 2u);
    EXPECT_EQ(p.cries[0].overwritten[0], 41);
    EXPECT_EQ(p.cries[0].overwritten[1], 42);

    EditRequest overHeader;
    overHeader.cries.push_back({-1, Encoded(Tone(10, 440)), CryChange::Place::At, 0x40, true});
    EXPECT_EQ(PlanEdits(rom, model, overHeader).problems.at(0).kind, PlanProblem::Protected);
}

// Byte-identical new samples are stored once: in the slot of the first that
// stays in its own (`roomy`, after `tight`, whose slot is too small), or,
// when none fits, in free space; every entry plays them, and with --reclaim
// the slots the others leave become free.
TEST_F(GameImage, IdenticalNewSamplesAreStoredOnce) {
    const auto slot = [&](int i) { return SampleExtent(static_cast<uint32_t>(plan.cries[i].size() - 1)); };
    int roomy = 3, tight = 20;
    if (slot(roomy) < slot(tight)) std::swap(roomy, tight);
    ASSERT_GT(slot(roomy), slot(tight));
    const Bytes small = Tone(static_cast<uint32_t>(plan.cries[roomy].size() - 1), 500), big = Noise(4000, 1);
    for (const Bytes* sound : {&small, &big}) {
        SCOPED_TRACE(sound->size());
        Bytes image = MakeRom(plan);
        EditRequest request;
        request.reclaim = true;
        for (int i : {tight, roomy, 9}) request.cries.push_back({i, Encoded(*sound), CryChange::Place::Auto});
        const Plan p = PlanEdits(image, model, request);
        ASSERT_TRUE(p.Ok());
        ASSERT_TRUE(ApplyPlan(p, image));
        const uint32_t copy = sound == &small ? SampleOf(roomy) : ReadEntry(image, model.table, tight).offset;
        EXPECT_NE(copy, SampleOf(tight));
        const uint32_t sampleBytes = static_cast<uint32_t>(Encoded(*sound).size());
        for (int i : {tight, roomy, 9}) {
            EXPECT_EQ(ReadEntry(image, model.table, i).offset, copy) << i;
            EXPECT_TRUE(ReverseInStep(image, model, i)) << i;
        }
        EXPECT_EQ(DecodedCry(image, copy), EncodedValues(Encoded(*sound)));
        EXPECT_EQ(p.bytesShared, 2u * sampleBytes);
        EXPECT_EQ(p.bytesUsed, sound == &small ? 0u : sampleBytes);
        const int holder = sound == &small ? roomy : tight;
        for (const CryPlan& c : p.cries) EXPECT_EQ(c.sameAs, c.index == holder ? -1 : holder) << c.index;
        // The slots left (the other two; the holder's too when its copy went to free space) are FF now.
        EXPECT_EQ(p.reclaimed.size(), sound == &small ? 2u : 3u);
        request.share = false;
        EXPECT_EQ(PlanEdits(rom, model, request).bytesShared, 0u);
    }
}

// Entry 41 plays entry 40's sample, and so does the reverse entry of 50. An
// edit of 40 moves it alone (its reverse entry with it) and leaves every byte
// of the old sample; --all-sharing writes over it, and 41 plays the new one.
TEST_F(GameImage, AnEditOfOneSharerLeavesTheOthersBytes) {
    const uint32_t shared = SampleOf(40);
    const Bytes sound = Tone(20, 700);
    for (const bool cryEntry : {true, false}) {
        for (const bool all : {false, true}) {
            SCOPED_TRACE(std::to_string(cryEntry) + std::to_string(all));
            Bytes image = MakeRom(plan);
            const uint32_t sharer = (cryEntry ? plan.tableOffset : ReverseTableOffset(plan)) + 12 * 41 + 4;
            PutLe32(&image[sharer], RomAddressBase | shared);
            const ImageModel m = OpenImage(image);
            const Bytes before = image;
            const Bytes sharerValues = DecodedCry(image, shared);
            EditRequest request;
            request.cries.push_back({40, Encoded(sound), CryChange::Place::InPlace});
            request.allSharing = all;
            const Plan p = PlanEdits(image, m, request);
            ASSERT_TRUE(p.Ok());
            ASSERT_TRUE(ApplyPlan(p, image));
            EXPECT_EQ(p.cries[0].sharing, std::vector<int>{41});
            EXPECT_EQ(p.cries[0].sharingChanged, all);
            EXPECT_EQ(p.cries[0].moved, !all);
            EXPECT_TRUE(ReverseInStep(image, m, 40));
            const Span old = InspectSample(before, shared).Bytes();
            const bool untouched = std::equal(before.begin() + old.start, before.begin() + old.end, image.begin() + old.start);
            EXPECT_EQ(untouched, !all);
            EXPECT_EQ(DecodedCry(image, ReadEntry(image, m.table, 40).offset), EncodedValues(Encoded(sound)));
            EXPECT_EQ(DecodedCry(image, shared), all ? EncodedValues(Encoded(sound)) : sharerValues);
        }
    }
}

// A slot another entry still plays is never reclaimed: not 40's, which 41
// plays (through its cry entry or only its reverse entry), when 40 moves
// alone or outgrows it; 41's own when it is changed too.
TEST_F(GameImage, ReclaimNeverFreesASlotAnotherEntryPlays) {
    const uint32_t shared = SampleOf(40);
    for (const uint32_t table : {plan.tableOffset, ReverseTableOffset(plan)}) {
        for (const uint32_t values : {20u, 3000u}) {
            Bytes image = MakeRom(plan);
            PutLe32(&image[table + 12 * 41 + 4], RomAddressBase | shared);
            const ImageModel m = OpenImage(image);
            EditRequest request;
            request.reclaim = true;
            request.cries.push_back({40, Encoded(Noise(values, 3)), CryChange::Place::Auto});
            const Plan p = PlanEdits(image, m, request);
            ASSERT_TRUE(p.Ok());
            EXPECT_TRUE(p.reclaimed.empty()) << values;
            EXPECT_TRUE(p.cries[0].moved);
            request.cries.push_back({41, Encoded(Noise(values, 4)), CryChange::Place::Auto});
            const Plan both = PlanEdits(image, m, request);
            ASSERT_TRUE(both.Ok());
            // Both outgrow their slots: the one freed is the one no entry
            // plays on (not 40's while the reverse entry of 41 plays it).
            const bool freed = values == 3000u;
            ASSERT_EQ(both.reclaimed.size(), freed ? 1u : 0u) << values;
            if (freed) {
                EXPECT_EQ(both.reclaimed[0].start, table == plan.tableOffset ? shared : SampleOf(41));
            }
        }
    }
}

}  // namespace

// Every entry of an extended table, under both rules, comes back from the
// name its file is given; names of no cry are not read as one.
TEST(Image, CryFileNamesReadBackAsTheirEntries) {
    ImageModel model;
    model.source = TableSource::Given;
    model.entries = 440;
    for (IdRule rule : {IdRule::CryNumber, IdRule::SpeciesNumber}) {
        for (const EntryRow& row : EntryRows(model, rule)) {
            const std::optional<EntryRow> back = ParseCryFileName(CryFileStem(row, rule) + ".flac", rule);
            ASSERT_TRUE(back) << CryFileStem(row, rule);
            EXPECT_EQ(back->id, row.id);
            EXPECT_EQ(back->index, row.index);
        }
    }
    EXPECT_EQ(ParseCryFileName("cry-412.wav", IdRule::CryNumber)->index, -1);
    EXPECT_EQ(ParseCryFileName("species-260.wav", IdRule::SpeciesNumber)->index, -1);
    for (const char* name : {"cry-025", "cry-025.", "cry-.wav", "cry-12345.wav", "species-025.wav", "index-4x.wav", "notes.txt"})
        EXPECT_FALSE(ParseCryFileName(name, IdRule::CryNumber)) << name;
}

// Four cries as the games pack them (each plays one value fewer than its
// data holds): 1000 values at 10512 Hz, 500 uncompressed at 22050 Hz, 64 at
// 13379 Hz, and a second copy of the first. Their bytes at each rung, worked
// out by hand: compressed n values take 16 + 33 (n / 64) + t, t = 0, 1 or
// (r - 1) / 2 + 2 for r = n mod 64; uncompressed 16 + n + 1.
TEST(Image, UsageCountsEachSampleOnceAndTheLadderByHand) {
    HackPlan hack;
    hack.base = GameRomPlan(4);
    hack.base.cries = {Tone(1001, 300), Tone(501, 400), Tone(65, 500), Tone(1001, 300)};
    hack.uncompressed = {1};
    hack.rates = {{1, 22050}, {2, 13379}};
    const Bytes rom = MakeHackRom(hack).rom;
    const TableUsage u = MeasureUsage(rom, OpenImage(rom));
    EXPECT_EQ(u.samples, 4);
    EXPECT_EQ(u.bytes, 532u + 517u + 49u + 532u);
    ASSERT_EQ(u.kinds.size(), 2u);
    EXPECT_EQ(u.kinds[0].kind, SampleKind::Compressed);
    EXPECT_EQ(u.kinds[0].bytes, 532u + 49u + 532u);
    EXPECT_EQ(u.kinds[1].samples, 1);
    ASSERT_EQ(u.rates.size(), 3u);
    EXPECT_EQ(u.rates[0].hz, 10512u);
    EXPECT_EQ(u.rates[0].samples, 2);
    EXPECT_EQ(u.rates[2].hz, 22050u);
    EXPECT_EQ(u.freeBytes, FreeTail(rom).Size());
    ASSERT_EQ(u.duplicates.size(), 1u);
    EXPECT_EQ(u.duplicates[0].entries, (std::vector<int>{0, 3}));
    EXPECT_EQ(u.duplicates[0].saved, 532u);
    EXPECT_EQ(u.duplicateBytes, 532u);
    // Rung: (cry 0 and 3, cry 1, cry 2). 13379: 500 -> 304 values; 11025: 250
    // and 53; 10512: 239 and 51; 6000: 571, 137 and 29.
    const uint64_t expected[] = {532 * 2 + 321 + 49, 532 * 2 + 267 + 44, 532 * 2 + 256 + 43, 0, 0, 0, 311 * 2 + 154 + 32};
    ASSERT_EQ(u.ladder.size(), FitLadder.size());
    for (size_t i : {0u, 1u, 2u, 6u}) {
        EXPECT_EQ(u.ladder[i].hz, FitLadder[i]);
        EXPECT_EQ(u.ladder[i].bytes, expected[i]) << FitLadder[i];
        EXPECT_EQ(u.ladder[i].freed, u.bytes - expected[i]);
    }
}

// What the player hears of the table's cries, and what a new sample warns of.
// list --json checks the figures against render's; here, what has none, and
// an uncompressed entry of a hack, played as its voice byte says.
TEST_F(GameImage, HeardFiguresRenderEachSoundInNormalMode) {
    PutLe32(&rom[ReadEntry(rom, model.table, 9).pointerPos], RomAddressBase + static_cast<uint32_t>(rom.size()));
    const std::vector<std::optional<HeardFigures>> table = TableHeard(rom, model, GameFamily::Third);
    ASSERT_EQ(table.size(), static_cast<size_t>(model.entries));
    EXPECT_FALSE(table[9]);  // points past the image
    EXPECT_TRUE(table[8] && table[8]->loudnessDb);
    const HackRom hack = MakeHackRom(MixedHackPlan());
    const ImageModel hackModel = OpenImage(hack.rom);
    const std::optional<HeardFigures> plain = EntryHeard(hack.rom, hackModel, 4, GameFamily::Third);
    ASSERT_TRUE(plain && plain->loudnessDb);
    EXPECT_EQ(plain->loudnessDb, HeardLoudnessDb({0x00, std::span<const uint8_t>(hack.rom).subspan(hack.entries[4].sample)},
                                                 GameFamily::Third));
}

TEST(HeardWarnings, MedianLeavesOutTheReplacedAndTheSilent) {
    const std::vector<std::optional<HeardFigures>> table = {
        HeardFigures{1, false, -20}, HeardFigures{1, false, -10}, std::nullopt, HeardFigures{1, false, -30},
        HeardFigures{1, false, std::nullopt}, HeardFigures{1, false, -12}};
    EXPECT_EQ(MedianLoudnessDb(table), -16);
    const int replaced[] = {5};
    EXPECT_EQ(MedianLoudnessDb(table, replaced), -20);
    EXPECT_FALSE(MedianLoudnessDb(std::span(table).subspan(2, 1)));
}

namespace {

HeardWarnings WarningsOf(const Bytes& sound, uint32_t hz, std::optional<double> median = std::nullopt,
                         const PlaybackOptions& options = {}) {
    return WarningsHeard(MakeSample(SampleKind::Compressed, sound, hz * 1024), CryVoiceByte(SampleKind::Compressed),
                         GameFamily::Third, median, options);
}

const HeardWarning* Find(const HeardWarnings& warnings, HeardWarningCode code) {
    const auto it = std::find_if(warnings.begin(), warnings.end(), [&](const HeardWarning& w) { return w.code == code; });
    return it == warnings.end() ? nullptr : &*it;
}

}  // namespace

TEST(HeardWarnings, CutsInNormalAndInTheModesThatHoldAsLong) {
    const HeardWarnings three = WarningsOf(Tone(3 * GameSampleRate, 400, GameSampleRate), GameSampleRate);
    const HeardWarning* cut = Find(three, HeardWarningCode::CutInNormal);
    ASSERT_TRUE(cut);
    EXPECT_NEAR(cut->secondsStored, 3, 1e-3);
    EXPECT_GT(cut->secondsHeard, 140 / FramesPerSecond);  // the echo rings on after the cut
    EXPECT_LT(cut->secondsHeard, 2.9);
    ASSERT_TRUE(Find(three, HeardWarningCode::CutInModes));
    EXPECT_EQ(Find(three, HeardWarningCode::CutInModes)->modes, (std::vector<int>{2, 5, 6, 11}));
    // 2.3 s plays whole in normal mode; faint and weak play it slower, past their hold.
    const HeardWarnings shorter = WarningsOf(Tone(GameSampleRate * 23 / 10, 400, GameSampleRate), GameSampleRate);
    EXPECT_FALSE(Find(shorter, HeardWarningCode::CutInNormal));
    ASSERT_TRUE(Find(shorter, HeardWarningCode::CutInModes));
    EXPECT_EQ(Find(shorter, HeardWarningCode::CutInModes)->modes, (std::vector<int>{5, 11}));
    EXPECT_TRUE(WarningsOf(Tone(GameSampleRate, 400, GameSampleRate), GameSampleRate).empty());
}

TEST(HeardWarnings, ARateAboveTheMixersCountsTheBytesItCosts) {
    const HeardWarnings high = WarningsOf(Tone(22050, 400, 22050), 22050);
    const HeardWarning* w = Find(high, HeardWarningCode::RateAboveMixer);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->rateHz, 22050u);
    EXPECT_EQ(w->bytes, SampleBytes(SampleKind::Compressed, 22050));
    EXPECT_EQ(w->bytesAtMixerRate, SampleBytes(SampleKind::Compressed, MaxUsefulRateHz));
    EXPECT_FALSE(Find(WarningsOf(Tone(13379, 400, 13379), 13379), HeardWarningCode::RateAboveMixer));
    EXPECT_TRUE(Find(WarningsOf(Tone(13380, 400, 13380), 13380), HeardWarningCode::RateAboveMixer));
}

TEST(HeardWarnings, ChorusWrapsOnlyPastTheUsualEcho) {
    Bytes square(GameSampleRate);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 16) % 2 ? 0 : 255;
    EXPECT_FALSE(Find(WarningsOf(square, GameSampleRate), HeardWarningCode::WrapsWithChorus));
    const HeardWarnings loud = WarningsOf(square, GameSampleRate, std::nullopt, {MaxReverb, false});
    const HeardWarning* w = Find(loud, HeardWarningCode::WrapsWithChorus);
    ASSERT_TRUE(w);
    EXPECT_GT(w->wrapped, 0u);
    EXPECT_FALSE(w->modes.empty());
    for (int m : w->modes) EXPECT_NE(FindCryMode(GameFamily::Third, m)->chorus, 0);
}

TEST(HeardWarnings, LoudnessFarFromTheTablesMedian) {
    const Bytes tone = Tone(GameSampleRate, 400, GameSampleRate, 100);
    const double db = *HeardLoudnessDb({0x20, MakeSample(SampleKind::Compressed, tone, GameSampleRate * 1024)},
                                       GameFamily::Third);
    EXPECT_FALSE(Find(WarningsOf(tone, GameSampleRate, db - 5.9), HeardWarningCode::LoudnessOff));
    const HeardWarnings louder = WarningsOf(tone, GameSampleRate, db + 6.1);
    const HeardWarning* w = Find(louder, HeardWarningCode::LoudnessOff);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->loudnessDb, db);
    EXPECT_EQ(w->medianDb, db + 6.1);
    EXPECT_FALSE(Find(WarningsOf(tone, GameSampleRate), HeardWarningCode::LoudnessOff));
}
