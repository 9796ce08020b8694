// The hack images of the test-data library, read back through a reader of the
// test's own: the image-model tests take the generator's word for where
// tables and samples lie and what each entry plays, so that word must be what
// the bytes say, and the bytes must be what the plan asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "crylib.h"
#include "testdata.h"

namespace {

// One entry and its sample as the bytes say.
struct EntryBytes {
    uint8_t kind = 0;  // the entry's first byte
    uint32_t sample = 0;
    uint32_t rate = 0;
    Bytes values;      // unsigned, as many as the length field says
    uint32_t end = 0;  // one past the sample's last data byte
};

EntryBytes ReadEntryBytes(const Bytes& rom, uint32_t table, size_t i) {
    auto word = [&](uint64_t at) {
        if (at + 4 > rom.size()) throw std::out_of_range("a word past the image");
        return GetLe32(&rom[at]);
    };
    EntryBytes r;
    const uint32_t entry = table + 12 * static_cast<uint32_t>(i);
    r.kind = static_cast<uint8_t>(word(entry));
    EXPECT_EQ(word(entry) >> 8, 0x3Cu);
    EXPECT_EQ(word(entry + 8), 0x00FF00FFu);
    r.sample = word(entry + 4) - 0x08000000;
    EXPECT_EQ(word(r.sample + 4) % 1024, 0u);
    EXPECT_EQ(word(r.sample + 8), 0u);  // loop start
    r.rate = word(r.sample + 4) / 1024;
    const uint32_t n = word(r.sample + 12);
    if (word(r.sample) == 1) {
        r.values.resize(n);
        DecodeSample(rom, r.sample, r.values);
        r.end = r.sample + SampleExtent(n + 1);
    } else {
        EXPECT_EQ(word(r.sample), 0u);
        for (uint32_t k = 0; k < n; ++k) r.values.push_back(rom.at(r.sample + 16 + k) ^ 0x80);
        EXPECT_EQ(rom.at(r.sample + 16 + n), 0) << "loop value";
        r.end = r.sample + 16 + n + 1;
    }
    EXPECT_LE(r.end, rom.size());
    return r;
}

TEST(HackImages, HoldWhatTheirPlansAskAndSayWhereItIs) {
    HackPlan plain;
    plain.base = GameRomPlan();
    const std::pair<const char*, HackPlan> variants[] = {
        {"plain", plain},
        {"mixed", MixedHackPlan()},
        {"moved", MovedHackPlan(TableMove::Together)},
        {"moved apart", MovedHackPlan(TableMove::Apart)},
        {"rates", RatesHackPlan(7)},
    };
    for (const auto& [name, plan] : variants) {
        SCOPED_TRACE(name);
        const HackRom hack = MakeHackRom(plan);
        const Bytes& rom = hack.rom;
        const Bytes game = MakeRom(plan.base);
        const uint32_t tail = FreeTailOffset(game);
        const size_t count = plan.base.cries.size() + plan.added.size();
        const bool moved = plan.move != TableMove::None;
        ASSERT_EQ(hack.entries.size(), count);
        ASSERT_EQ(rom.size(), game.size());
        EXPECT_EQ(hack.table == plan.base.tableOffset, !moved);
        EXPECT_EQ(hack.reverse == hack.table + 12 * count, plan.move != TableMove::Apart);
        EXPECT_EQ(hack.oldTable.has_value(), moved);

        // Bytes that may differ from the Game image: the FF tail, and the
        // pointer words and tables in place when nothing moved.
        std::vector<bool> mayChange(rom.size(), false);
        std::fill(mayChange.begin() + tail, mayChange.end(), true);
        if (!moved) std::fill_n(mayChange.begin() + hack.table, 24 * count, true);
        for (auto [words, target] : {std::pair{&hack.cryWords, hack.table}, {&hack.reverseWords, hack.reverse}}) {
            for (uint32_t w : *words) {
                EXPECT_EQ(w % 4, 0u);
                EXPECT_TRUE(w >= 0xC0 && w + 4 <= GameDecoyFreeRun) << w;
                EXPECT_EQ(GetLe32(&rom[w]), 0x08000000 + target);
                std::fill_n(mayChange.begin() + w, 4, true);
            }
        }
        for (size_t i = 0; i < rom.size(); ++i) {
            if (!mayChange[i]) {
                ASSERT_EQ(rom[i], game[i]) << "byte " << i;
            }
        }

        // What lies in the tail: the moved tables and the new samples, apart,
        // zero bytes up to each next multiple of 4, FF from the last to the end.
        std::vector<std::pair<uint32_t, uint32_t>> pieces;
        if (moved) pieces = {{hack.table, hack.table + 12 * count}, {hack.reverse, hack.reverse + 12 * count}};
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            const Bytes& cry = i < plan.base.cries.size() ? plan.base.cries[i] : plan.added[i - plan.base.cries.size()];
            const bool plainBytes = std::count(plan.uncompressed.begin(), plan.uncompressed.end(), int(i)) > 0;
            uint32_t rate = GameSampleRate;
            for (auto [index, r] : plan.rates) rate = index == int(i) ? r : rate;

            const EntryBytes e = ReadEntryBytes(rom, hack.table, i);
            const EntryBytes back = ReadEntryBytes(rom, hack.reverse, i);
            EXPECT_EQ(e.kind, plainBytes ? 0x00 : 0x20);
            EXPECT_EQ(back.kind, plainBytes ? 0x10 : 0x30);
            EXPECT_EQ(back.sample, e.sample);
            EXPECT_EQ(e.rate, rate);
            Bytes expected = plainBytes ? cry : EncReportedValues(cry);
            expected.pop_back();
            ASSERT_EQ(e.values, expected);
            const HackEntry& said = hack.entries[i];
            EXPECT_TRUE(said.sample == e.sample && said.rate == rate && said.played == expected);
            EXPECT_EQ(said.coding, plainBytes ? SampleCoding::Uncompressed : SampleCoding::Compressed);
            if (e.sample < tail) continue;
            EXPECT_EQ(e.sample % 4, 0u);
            for (uint32_t k = e.end; k % 4; ++k) EXPECT_EQ(rom[k], 0);
            pieces.push_back({e.sample, e.end});
        }
        std::sort(pieces.begin(), pieces.end());
        for (size_t k = 1; k < pieces.size(); ++k) EXPECT_LE(pieces[k - 1].second, pieces[k].first);
        const uint32_t used = pieces.empty() ? tail : pieces.back().second;
        EXPECT_LE(used + HackFreeTail, rom.size());
        EXPECT_TRUE(std::all_of(rom.begin() + (used + 3) / 4 * 4, rom.end(), [](uint8_t b) { return b == 0xFF; }));
    }
}

TEST(HackImages, RefuseWhatNoImageCouldHold) {
    HackPlan badIndex = MixedHackPlan();
    badIndex.rates.push_back({388, 22050});
    HackPlan addedInPlace = MovedHackPlan();
    addedInPlace.move = TableMove::None;
    HackPlan tooSmall = MovedHackPlan();
    tooSmall.added.insert(tooSmall.added.end(), 8, Noise(MaxSampleLength, 1));
    for (auto [plan, why] : {std::pair{&badIndex, "no entry 388"}, {&addedInPlace, "moved table"},
                             {&tooSmall, "FF tail is too small"}}) {
        try {
            MakeHackRom(*plan);
            ADD_FAILURE() << "no refusal: " << why;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
}

}  // namespace
