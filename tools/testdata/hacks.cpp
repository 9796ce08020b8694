// Hacks of the Game layout: cries stored uncompressed or at other rates, and
// tables moved and extended, laid out as their makers leave them.
#include <stdexcept>
#include <string>
#include <utility>

#include "crylib.h"
#include "packing.h"
#include "testdata.h"

namespace {

constexpr int GameEntries = 388;

// What the hack makes of one entry.
struct EntryPlan {
    const Bytes* cry = nullptr;
    SampleCoding coding = SampleCoding::Compressed;
    uint32_t rate = GameSampleRate;
    bool newSample = false;  // false: the entry keeps the Game image's sample
};

std::vector<EntryPlan> PlanEntries(const HackPlan& plan) {
    const size_t baseCount = plan.base.cries.size();
    std::vector<EntryPlan> entries(baseCount + plan.added.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].cry = i < baseCount ? &plan.base.cries[i] : &plan.added[i - baseCount];
        entries[i].newSample = i >= baseCount;
    }
    auto entry = [&](int index) -> EntryPlan& {
        if (index < 0 || static_cast<size_t>(index) >= entries.size()) {
            throw std::invalid_argument("MakeHackRom: no entry " + std::to_string(index));
        }
        entries[static_cast<size_t>(index)].newSample = true;
        return entries[static_cast<size_t>(index)];
    };
    for (int index : plan.uncompressed) entry(index).coding = SampleCoding::Uncompressed;
    for (const auto& [index, rate] : plan.rates) entry(index).rate = rate;
    return entries;
}

// What a reader yields for a cry packed as the games pack it: the first
// N - 1 of its N values, as the coder left them.
Bytes Played(const Bytes& cry, SampleCoding coding) {
    Bytes values = coding == SampleCoding::Compressed ? EncReportedValues(cry) : cry;
    values.pop_back();
    return values;
}

// Hands out the FF tail from its start, in word-aligned pieces, as long as
// HackFreeTail bytes of it stay free.
class TailSpace {
public:
    explicit TailSpace(const Bytes& rom) : size_(rom.size()), at_(FreeTailOffset(rom)) {}
    uint32_t Take(uint64_t bytes) {
        const uint32_t start = at_;
        if (start + bytes + HackFreeTail > size_) throw std::invalid_argument("MakeHackRom: the FF tail is too small");
        at_ = AlignUp4(start + bytes);
        return start;
    }

private:
    uint64_t size_;
    uint32_t at_;
};

}  // namespace

HackRom MakeHackRom(const HackPlan& plan) {
    if (plan.base.layout != RomLayout::Game) throw std::invalid_argument("MakeHackRom: the base is not a Game layout");
    if (!plan.added.empty() && plan.move == TableMove::None) {
        throw std::invalid_argument("MakeHackRom: added entries need a moved table");
    }
    const std::vector<EntryPlan> entries = PlanEntries(plan);
    HackRom hack;
    hack.rom = MakeRom(plan.base);
    Bytes& rom = hack.rom;
    TailSpace tail(rom);
    const uint64_t tableBytes = uint64_t{CryEntrySize} * entries.size();
    hack.table = plan.base.tableOffset;
    hack.reverse = ReverseTableOffset(plan.base);
    if (plan.move != TableMove::None) {
        hack.oldTable = hack.table;
        hack.oldReverse = hack.reverse;
        hack.table = tail.Take(tableBytes);
        if (plan.move == TableMove::Together) hack.reverse = tail.Take(tableBytes);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const EntryPlan& e = entries[i];
        HackEntry out{0, e.coding, e.rate, {}};
        if (e.newSample) {
            out.sample = tail.Take(PackedSpan(e.cry->size(), e.coding));
            PutPackedSample(rom, out.sample, *e.cry, e.coding, e.rate);
        } else {
            out.sample = CrySampleOffset(rom, plan.base, static_cast<int>(i));
        }
        out.played = Played(*e.cry, e.coding);
        hack.entries.push_back(std::move(out));
    }
    if (plan.move == TableMove::Apart) hack.reverse = tail.Take(tableBytes);
    for (size_t i = 0; i < entries.size(); ++i) {
        const HackEntry& e = hack.entries[i];
        PutEntry(&rom[hack.table + CryEntrySize * i], EntryFirstWord(TableSide::Cry, e.coding), e.sample);
        PutEntry(&rom[hack.reverse + CryEntrySize * i], EntryFirstWord(TableSide::Reverse, e.coding), e.sample);
    }
    PutTableWords(rom, hack.table, hack.reverse);
    hack.cryWords.assign(GameCryTableWords.begin(), GameCryTableWords.end());
    hack.reverseWords.assign(GameReverseTableWords.begin(), GameReverseTableWords.end());
    return hack;
}

HackPlan MixedHackPlan(uint32_t seed) {
    HackPlan plan;
    plan.base = GameRomPlan(GameEntries, seed);
    plan.uncompressed = {4, 150, GameEntries - 1};
    return plan;
}

HackPlan MovedHackPlan(TableMove move, uint32_t seed) {
    HackPlan plan;
    plan.base = GameRomPlan(MovedHackEntries, seed);
    plan.added.assign(plan.base.cries.begin() + GameEntries, plan.base.cries.end());
    plan.base.cries.resize(GameEntries);
    plan.move = move;
    plan.uncompressed = {4, GameEntries - 1, 389, 420, 430, MovedHackEntries - 1};
    plan.rates = {{400, 22050}, {430, 13379}};
    return plan;
}

HackPlan RatesHackPlan(uint32_t seed) {
    HackPlan plan;
    plan.base = GameRomPlan(GameEntries, seed);
    plan.uncompressed = {10, 12};
    plan.rates = {{3, 13379}, {10, 13379}, {7, 22050}, {12, 22050}};
    return plan;
}
