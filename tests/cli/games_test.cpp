// The command line on an image laid out as the games lay out theirs: packed
// samples, a length field one below the values their data holds, the
// reverse table right after the cry table, program bytes, an FF tail. Every
// writing command is checked against the neighbours it must not touch.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>

#include "hearing.h"
#include "image.h"
#include "support.h"

namespace {

using nlohmann::json;

constexpr int FitPackCries = 60;
constexpr uint32_t PackValues = 17640;  // 0.8 s

class CliGames : public CliGameTest {
protected:
    uint32_t SampleOf(const Bytes& image, int index) const { return CrySampleOffset(image, plan, index); }
    // Each cry's decoded values, in table order.
    std::vector<Bytes> Cries(const Bytes& image) const {
        std::vector<Bytes> cries;
        for (size_t i = 0; i < plan.cries.size(); ++i) cries.push_back(DecodedCry(image, SampleOf(image, int(i))));
        return cries;
    }
};

TEST_F(CliGames, ListsTheTableItHasNotTheReverseTable) {
    CliResult r = Run({"list", romPath, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    json j = json::parse(r.out);
    EXPECT_EQ(j["entries"].size(), 388u);
    EXPECT_EQ(j["reverse_table"], ReverseTableOffset(plan));
    const json& last = j["entries"][387];
    EXPECT_EQ(last["id"], 388);
    EXPECT_EQ(last["sample"]["bytes"], SampleExtent(static_cast<uint32_t>(plan.cries[387].size() - 1)));
    CliResult past = Run({"dump", romPath, "389", "-o", Path("x.wav")});
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("the cry table at 0x1000 has 388 entries; ID 389 lies past it"), std::string::npos)
        << past.err;
}

// The same length in place: only the new sample's bytes change, the next
// cry's header included in what must survive.
TEST_F(CliGames, ASameLengthCryInPlaceKeepsItsNeighbour) {
    for (int index : {3, 10, 17}) {
        SCOPED_TRACE(index);
        const Bytes before = ReadFileBytes(romPath);
        const uint32_t at = SampleOf(before, index);
        const uint16_t stored = GetLe16(&before[at + SampleLengthOfs]);
        const Bytes sound = Noise(stored, index);
        ASSERT_EQ(Run({"encode", romPath, WavOf("same.wav", sound), std::to_string(index + 1), "--raw"}).status, 0);
        Bytes expected = before;
        EncodeSample(sound, std::span<uint8_t>(expected).subspan(at, SampleExtent(stored)), EncodeMode::Best);
        EXPECT_EQ(ReadFileBytes(romPath), expected);
    }
}

// Dump every cry, encode each back in place with the greedy coder: no cry's
// values change, and a longer sound is refused, saying how many bytes miss.
TEST_F(CliGames, EveryCryDumpedAndEncodedBackStaysTheSame) {
    ASSERT_EQ(Run({"dump-all", romPath, Path("cries")}).status, 0);
    for (int id = 1; id <= 388; id += 13) {
        char name[32];
        std::snprintf(name, sizeof name, "cries/cry-%03d.wav", id);
        const std::string wav = Path(name);
        ASSERT_EQ(Run({"encode", romPath, wav, std::to_string(id), "--quality", "fast"}).status, 0) << id;
    }
    EXPECT_EQ(Cries(ReadFileBytes(romPath)), Cries(rom));

    const uint16_t stored = GetLe16(&rom[SampleOf(rom, 0) + SampleLengthOfs]);
    CliResult longer = Run({"encode", romPath, WavOf("long.wav", Noise(stored + 3u, 1)), "1"});
    EXPECT_EQ(longer.status, 1);
    EXPECT_NE(longer.err.find("missing"), std::string::npos) << longer.err;
    EXPECT_NE(longer.err.find("--repoint-free"), std::string::npos) << longer.err;
}

// Into free space and back: both tables follow, the decoy FF run amid the
// program bytes is never taken, nothing but the declared bytes changes.
TEST_F(CliGames, RepointFreeAndRepointTouchOnlyTheirBytes) {
    const Bytes sound = Noise(3000, 2);
    CliResult r = Run({"encode", romPath, WavOf("long.wav", sound), "7", "--repoint-free", "--raw"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the FF tail " + std::string("0x") + Hex8(FreeTailOffset(rom))), std::string::npos) << r.out;
    const uint32_t at = FreeTailOffset(rom);
    Bytes expected = rom;
    EncodeSample(sound, std::span<uint8_t>(expected).subspan(at, SampleExtent(3000)), EncodeMode::Best);
    PutLe32(&expected[plan.tableOffset + 12 * 6 + 4], RomAddressBase | at);
    PutLe32(&expected[ReverseTableOffset(plan) + 12 * 6 + 4], RomAddressBase | at);
    EXPECT_EQ(ReadFileBytes(romPath), expected);

    ASSERT_EQ(Run({"repoint", romPath, "7", Hex8(SampleOf(rom, 6))}).status, 0);
    EXPECT_EQ(Cries(ReadFileBytes(romPath)), Cries(rom));
    CliResult decoy = Run({"encode", romPath, WavOf("s.wav", Noise(20, 3)), "8", "--repoint-free", "--raw",
                           "--free-start", "0", "--free-end", Hex8(plan.tableOffset)});
    ASSERT_EQ(decoy.status, 0) << decoy.err;  // inside a range the user names, an inner run may be used
    EXPECT_EQ(SampleOf(ReadFileBytes(romPath), 7), GameDecoyFreeRun);
}

TEST_F(CliGames, ImportOfTheDumpedFilesChangesNoCry) {
    ASSERT_EQ(Run({"dump-all", romPath, Path("cries")}).status, 0);
    ASSERT_TRUE(WriteFileBytes(Path("cries/notes.txt"), Bytes{'h', 'i'}));
    CliResult r = Run({"import", romPath, Path("cries"), "--quality", "fast", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    json j = json::parse(r.out);
    EXPECT_EQ(j["ignored"], json::array({"notes.txt"}));
    EXPECT_EQ(j["plan"]["cries"].size(), 388u);
    // Cries that come out byte-identical share one copy: only their two
    // pointer words each change.
    size_t pointedAtCopy = 0;
    for (const json& c : j["plan"]["cries"]) pointedAtCopy += !c["same_as"].is_null();
    EXPECT_EQ(j["plan"]["pointers"].size(), 2 * pointedAtCopy);
    EXPECT_EQ(Cries(ReadFileBytes(romPath)), Cries(rom));
}

// Cries that outgrow their slots move, both tables follow, nothing else
// changes; with --reclaim their old slots become FF.
TEST_F(CliGames, ImportMovesExactlyTheCriesThatOutgrowTheirSlots) {
    fs::create_directory(dir / "in");
    const int grown[] = {5, 40}, kept[] = {6};
    WavOf("in/cry-005.wav", Noise(900, 5));
    WavOf("in/cry-040.wav", Noise(900, 40));
    WavOf("in/cry-006.wav", Noise(8, 6));
    CliResult r = Run({"import", romPath, Path("in"), "--reclaim", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    json j = json::parse(r.out);
    const Bytes after = ReadFileBytes(romPath);
    std::vector<Span> declared;
    for (const json& c : j["plan"]["cries"]) declared.push_back({c["new_offset"], c["new_offset"].get<uint32_t>() + c["new_bytes"].get<uint32_t>()});
    for (const json& p : j["plan"]["pointers"]) declared.push_back({p["at"], p["at"].get<uint32_t>() + 4});
    for (const json& s : j["plan"]["reclaimed"]) declared.push_back({s["start"], s["end"]});
    EXPECT_EQ(j["plan"]["pointers"].size(), 4u);  // two cries, two tables each
    EXPECT_EQ(j["plan"]["reclaimed"].size(), 2u);
    for (size_t i = 0; i < rom.size(); ++i) {
        const bool inside = std::any_of(declared.begin(), declared.end(), [&](Span s) { return i >= s.start && i < s.end; });
        if (!inside) {
            ASSERT_EQ(after[i], rom[i]) << "byte " << i;
        }
    }
    for (int id : grown) {
        const uint32_t cry = GetLe32(&after[plan.tableOffset + 12 * (id - 1) + 4]);
        EXPECT_EQ(GetLe32(&after[ReverseTableOffset(plan) + 12 * (id - 1) + 4]), cry);
        EXPECT_GE(cry & RomAddressMask, FreeTailOffset(rom));
        EXPECT_EQ(DecodedCry(after, cry & RomAddressMask).size(), 900u);
    }
    for (int id : kept) EXPECT_EQ(SampleOf(after, id - 1), SampleOf(rom, id - 1));
}

TEST_F(CliGames, ARefusedImportNamesEveryProblemAndWritesNothing) {
    fs::create_directory(dir / "in");
    WavOf("in/cry-389.wav", Noise(10, 1));
    ASSERT_TRUE(WriteFileBytes(Path("in/cry-002.wav"), Bytes{'n', 'o'}));
    WavOf("in/cry-003.wav", Noise(70000, 3));
    for (int id = 10; id < 20; ++id) WavOf("in/cry-0" + std::to_string(id) + ".wav", Noise(60000, id));
    CliResult r = Run({"import", romPath, Path("in"), "--raw", "--backup"});
    EXPECT_EQ(r.status, 1);
    for (const char* says : {"ID 389", "ID 2 (cry-002.wav)", "ID 3 (cry-003.wav)", "no free space"})
        EXPECT_NE(r.err.find(says), std::string::npos) << says << "\n" << r.err;
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    EXPECT_TRUE(Strays({"game.gba", "in"}).empty());
}

// A pack of `count` cries at 22050 Hz, from ID `first` on: tones of rising
// pitch with a little noise, 0.8 s each unless `values` says otherwise.
void WritePack(const fs::path& dir, int first, int count, uint32_t values = PackValues) {
    fs::create_directories(dir);
    for (int i = 0; i < count; ++i) {
        Bytes cry = Tone(values, 200 + 150 * i, 22050, 90);
        const Bytes hiss = Noise(values, i);
        for (size_t k = 0; k < cry.size(); ++k) cry[k] = static_cast<uint8_t>(cry[k] + (hiss[k] - 128) / 16);
        char name[32];
        std::snprintf(name, sizeof name, "cry-%03d.wav", first + i);
        WriteFileBytes((dir / name).string(), MakeWav(cry, 22050));
    }
}

// A pack that does not fit at 13379 Hz: refused as it is, with the rate
// --fit would need; fitted with --fit, every cry at 13379 Hz or below, the
// dry run's choice the same as the real one, each header at the rate chosen;
// refused, untouched, when even the lowest rate allowed is too much.
TEST_F(CliGames, ImportFitLowersRatesUntilThePackFits) {
    WritePack(dir / "in", 1, FitPackCries);
    const CliResult plain = Run({"import", romPath, Path("in"), "--rate", "13379"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.err.find("--fit would fit the pack"), std::string::npos) << plain.err;
    const json refusal = json::parse(Run({"import", romPath, Path("in"), "--rate", "13379", "--json"}).out);
    EXPECT_EQ(ReadFileBytes(romPath), rom);

    const CliResult dry = Run({"import", romPath, Path("in"), "--rate", "22050", "--fit", "--dry-run", "--json"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    const CliResult r = Run({"import", romPath, Path("in"), "--rate", "22050", "--fit", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out), d = json::parse(dry.out);
    EXPECT_EQ(j["plan"]["cries"], d["plan"]["cries"]);
    EXPECT_EQ(refusal["fit_lowest_rate"], d["fit"]["lowest_rate"]);
    const Bytes after = ReadFileBytes(romPath);
    std::set<uint32_t> rates;
    uint64_t total = 0;
    for (const json& c : j["plan"]["cries"]) {
        const uint32_t hz = c["rate"];
        rates.insert(hz);
        total += c["new_bytes"].get<uint64_t>();
        EXPECT_TRUE(c["snr_heard_db"].is_number());
        EXPECT_EQ(InspectSample(after, c["new_offset"]).Hz(), hz);
    }
    EXPECT_LE(*rates.rbegin(), 13379u);
    EXPECT_LT(*rates.begin(), 13379u);  // it did not fit at 13379 Hz
    EXPECT_GE(*rates.begin(), 6000u);
    EXPECT_EQ(j["fit"]["lowest_rate"], *rates.begin());
    EXPECT_EQ(j["fit"]["bytes"], total);

    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    const CliResult refused = Run({"import", romPath, Path("in"), "--rate", "22050", "--fit", "--min-rate", "11025", "--json"});
    EXPECT_EQ(refused.status, 1);
    const json e = json::parse(refused.out);
    EXPECT_GT(e["missing_bytes"].get<uint64_t>(), 0u);
    EXPECT_NE(e["error"].get<std::string>().find("none below 11025 Hz"), std::string::npos) << e;
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    EXPECT_TRUE(Strays({"game.gba", "in"}).empty());
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--fit", "--raw"}, {"--min-rate", "7000"},
                                                {"--fit", "--min-rate", "20000"}}) {
        std::vector<std::string> args = {"import", romPath, Path("in")};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(Run(args).status, 2) << bad[0];
    }
    EXPECT_EQ(ReadFileBytes(romPath), rom);
}

// --match-loudness: a quiet cry brought to the table's median (its own entry
// left out) or to a number, as heard, within 1 dB and with no sum wrapped; a
// cry whose click stops the gain says how far short it stays; bad values are
// refused with nothing written.
TEST_F(CliGames, MatchLoudnessBringsQuietCriesToTheMedian) {
    const Bytes quiet = Tone(6000, 500, 10512, 6);
    const std::string wav = WavOf("quiet.wav", quiet);
    const GameFamily family = FamilyOfCode("BRVX");
    const std::optional<double> median = MedianLoudnessDb(TableHeard(rom, OpenImage(rom), family), std::vector<int>{4});
    ASSERT_TRUE(median);
    auto heardOf = [&](int index) {
        const Bytes after = ReadFileBytes(romPath);
        return *EntryHeard(after, OpenImage(after), index, family)->loudnessDb;
    };
    auto wrapped = [&](const std::string& id) {
        const CliResult r = Run({"render", romPath, id, "-o", Path("r.wav"), "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        return json::parse(r.out).dump().find("\"wrapped\":0") != std::string::npos;
    };
    CliResult r = Run({"encode", romPath, wav, "5", "--match-loudness", "--repoint-free", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(heardOf(4), *median, 1.0);
    EXPECT_TRUE(wrapped("5"));

    fs::create_directory(dir / "in");
    WavOf("in/cry-007.wav", quiet);
    Bytes clicked = quiet;
    clicked[3000] = 255;
    WavOf("in/cry-008.wav", clicked);
    r = Run({"import", romPath, Path("in"), "--match-loudness=-20", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(heardOf(6), -20, 1.0);
    EXPECT_TRUE(wrapped("7"));
    const json j = json::parse(r.out);
    bool short8 = false;
    for (const json& c : j["plan"]["cries"])
        for (const json& w : c["warnings"])
            if (w["code"] == "LoudnessShort" && c["index"] == 7) short8 = w["target_db"] == -20 && w["heard_db"] < -21;
    EXPECT_TRUE(short8) << j["plan"]["cries"];

    const Bytes before = ReadFileBytes(romPath);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--match-loudness=loud"}, {"--match-loudness=6"},
                                                {"--match-loudness", "--gain", "3"}, {"--match-loudness", "--raw"}}) {
        std::vector<std::string> args = {"encode", romPath, wav, "5"};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(Run(args).status, 2) << bad[0];
    }
    EXPECT_EQ(ReadFileBytes(romPath), before);
}

}  // namespace

// The images hacks leave: cries stored uncompressed or at other rates, the
// tables moved and extended with the old ones left dead and the code's
// pointer words rewritten. Every command works on the table the code points
// at, reads each sample by its own kind, and never touches the dead tables.
class CliHacks : public CliTest {
protected:
    struct Variant {
        const char* name;
        HackPlan plan;
    };
    static std::vector<Variant> Variants() {
        return {{"mixed", MixedHackPlan()},
                {"moved", MovedHackPlan(TableMove::Together)},
                {"moved apart", MovedHackPlan(TableMove::Apart)},
                {"rates", RatesHackPlan()}};
    }
    std::string Write(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(WriteFileBytes(Path(name), bytes));
        return Path(name);
    }
    static uint32_t EntryAt(uint32_t table, int index) { return table + CryEntrySize * static_cast<uint32_t>(index); }
};

TEST_F(CliHacks, IdentifyListAndDumpReadTheTableInUseByKind) {
    for (const Variant& v : Variants()) {
        SCOPED_TRACE(v.name);
        const HackRom h = MakeHackRom(v.plan);
        const std::string rom = Write("hack.gba", h.rom);
        CliResult id = Run({"identify", rom, "--json"});
        ASSERT_EQ(id.status, 0) << id.err;
        const json j = json::parse(id.out);
        EXPECT_EQ(j["table"], h.table);
        EXPECT_EQ(j["entries_in_table"], h.entries.size());
        EXPECT_EQ(j["reverse_table"], h.reverse);
        EXPECT_EQ(j["table_pointers"].get<std::vector<uint32_t>>(), h.cryWords);
        EXPECT_EQ(j["reverse_pointers"].get<std::vector<uint32_t>>(), h.reverseWords);
        EXPECT_EQ(j["unused_table"], h.oldTable ? json(*h.oldTable) : json(nullptr));

        fs::remove_all(Path("cries"));
        ASSERT_EQ(Run({"dump-all", rom, Path("cries")}).status, 0);
        ImageModel model;
        model.entries = static_cast<int>(h.entries.size());
        for (const EntryRow& row : EntryRows(model, IdRule::CryNumber)) {
            const HackEntry& e = h.entries[row.index];
            const WavFile wav = ParseWav(ReadFileBytes(Path("cries/" + CryFileStem(row, IdRule::CryNumber) + ".wav")));
            ASSERT_EQ(wav.data, e.played) << "entry " << row.index;
            EXPECT_EQ(wav.rate, e.rate) << "entry " << row.index;
        }
    }
}

// In place and converted both ways, into free space, repointed, imported:
// outside the bytes each edit declares (the new sample, the entry's pointer
// words and voice bytes in the tables in use) nothing changes, the dead
// tables least of all, and every other entry plays what it played.
TEST_F(CliHacks, EditsGoToTheTableInUseAndKeepOrConvertTheKind) {
    const HackRom h = MakeHackRom(MovedHackPlan(TableMove::Apart));
    const std::string rom = Write("hack.gba", h.rom);
    auto shortest = [&](SampleCoding coding) {
        int best = -1;
        for (int i = 0; i < static_cast<int>(h.entries.size()); ++i)
            if (h.entries[i].coding == coding && h.entries[i].rate == GameSampleRate &&
                (best < 0 || h.entries[i].played.size() < h.entries[best].played.size()))
                best = i;
        return best;
    };
    const int plain = shortest(SampleCoding::Uncompressed), packed = shortest(SampleCoding::Compressed);
    struct Edit {
        std::vector<std::string> args;
        int index;
        std::optional<SampleKind> kind;  // what the entry plays afterwards
    };
    // Sounds as long as the cries they replace, so that a kept kind stays in place.
    const std::string wav = Write("plain.wav", MakeWav(Noise(static_cast<uint32_t>(h.entries[plain].played.size()), 7), GameSampleRate));
    const std::string wider = Write("packed.wav", MakeWav(Noise(static_cast<uint32_t>(h.entries[packed].played.size()), 8), GameSampleRate));
    const std::string index = std::to_string(plain), other = std::to_string(packed);
    fs::create_directories(Path("pack"));
    Write("pack/index-0430.wav", MakeWav(Tone(300, 500, 13379), 13379));
    const Edit edits[] = {
        {{"encode", rom, wav, "--index", index, "--raw"}, plain, SampleKind::Uncompressed},  // kept
        {{"encode", rom, wav, "--index", index, "--raw", "--kind", "compressed"}, plain, SampleKind::Compressed},
        {{"encode", rom, wider, "--index", other, "--raw", "--kind", "uncompressed", "--repoint-free"}, packed,
         SampleKind::Uncompressed},
        {{"repoint", rom, "--index", "439", Hex8(h.entries[plain].sample)}, 439, std::nullopt},
        {{"import", rom, Path("pack"), "--raw"}, 430, SampleKind::Uncompressed},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.args[0] + " " + std::to_string(edit.index));
        ASSERT_TRUE(WriteFileBytes(rom, h.rom));
        CliResult r = Run(edit.args);
        ASSERT_EQ(r.status, 0) << r.err;
        const Bytes after = ReadFileBytes(rom);
        const ImageModel m = OpenImage(after);
        ASSERT_EQ(m.table, h.table);
        const Entry cry = ReadEntry(after, h.table, edit.index), back = ReadEntry(after, h.reverse, edit.index);
        EXPECT_EQ(cry.pointer, back.pointer);
        const SampleInfo s = InspectSample(after, cry.offset);
        ASSERT_TRUE(s.Sound());
        if (edit.kind) {
            EXPECT_EQ(s.Kind(), edit.kind);
            EXPECT_EQ(VoiceKind(cry.firstWord, TableKind::Cry), edit.kind);
            EXPECT_EQ(VoiceKind(back.firstWord, TableKind::Reverse), edit.kind);
        }
        // Every byte outside the declared ones is as it was.
        Bytes masked = after;
        for (uint32_t at : {cry.at, back.at}) std::copy_n(h.rom.begin() + at, CryEntrySize, masked.begin() + at);
        if (edit.kind) std::copy_n(h.rom.begin() + s.offset, s.extent, masked.begin() + s.offset);
        EXPECT_EQ(masked, h.rom);
        for (int i = 0; i < static_cast<int>(h.entries.size()); ++i)
            if (i != edit.index) {
                ASSERT_EQ(DecodeValues(after, ReadEntry(after, h.table, i).offset).value, h.entries[i].played) << i;
            }
    }
}

// One sound imported for three entries is stored once, in the games' layout
// and in a moved, extended hack (whose entries 389 and 420 are uncompressed);
// list names the sharers; an encode of one of them moves it alone and leaves
// the shared bytes, unless --all-sharing. A refused import writes nothing.
TEST_F(CliHacks, IdenticalCriesAreStoredOnceAndAnEditOfOneMovesItAlone) {
    const HackRom hack = MakeHackRom(MovedHackPlan(TableMove::Apart));
    const RomPlan games = GameRomPlan();
    const struct {
        const char* name;
        Bytes rom;
        uint32_t table;
        std::vector<int> entries;
    } images[] = {{"games", MakeRom(games), games.tableOffset, {4, 39, 99}}, {"hack", hack.rom, hack.table, {4, 389, 420}}};
    const Bytes sound = Noise(60, 5), other = Noise(50, 6);
    for (const auto& image : images) {
        SCOPED_TRACE(image.name);
        const std::string rom = Write("rom.gba", image.rom);
        fs::remove_all(Path("pack"));
        fs::create_directories(Path("pack"));
        char name[32];
        for (int i : image.entries) {
            std::snprintf(name, sizeof name, "pack/index-%04d.wav", i);
            Write(name, MakeWav(sound, GameSampleRate));
        }
        const std::string stray = Write("pack/cry-500.wav", MakeWav(sound, GameSampleRate));
        EXPECT_EQ(Run({"import", rom, Path("pack"), "--raw"}).status, 1);
        EXPECT_EQ(ReadFileBytes(rom), image.rom);
        fs::remove(stray);

        CliResult apart = Run({"import", rom, Path("pack"), "--raw", "--no-share", "--dry-run", "--json"});
        ASSERT_EQ(apart.status, 0) << apart.err;
        EXPECT_EQ(json::parse(apart.out)["plan"]["bytes_shared"], 0);
        CliResult r = Run({"import", rom, Path("pack"), "--raw", "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const json plan = json::parse(r.out)["plan"];
        const Bytes shared = ReadFileBytes(rom);
        const auto offset = [&](const Bytes& b, int i) { return ReadEntry(b, image.table, i).offset; };
        const uint32_t copy = offset(shared, image.entries[0]);
        int pointedAtCopy = 0;
        for (const json& c : plan["cries"]) pointedAtCopy += !c["same_as"].is_null();
        EXPECT_EQ(pointedAtCopy, 2);
        EXPECT_EQ(plan["bytes_shared"], 2 * plan["cries"][0]["new_bytes"].get<uint64_t>());
        for (int i : image.entries) EXPECT_EQ(offset(shared, i), copy) << i;
        if (image.entries[1] == 389) {
            EXPECT_EQ(DecodeValues(shared, copy).value, sound);
        }
        const json listed = json::parse(Run({"list", rom, "--json"}).out)["entries"];
        for (const json& e : listed)
            if (e["index"] == image.entries[0]) {
                EXPECT_EQ(e["shared_with"], json(std::vector<int>(image.entries.begin() + 1, image.entries.end())));
            }
        EXPECT_NE(Run({"list", rom}).out.find("shared with"), std::string::npos);

        // One sharer edited: it moves alone, the shared sample's bytes stay.
        const Span bytes = InspectSample(shared, copy).Bytes();
        const std::string wav = Write("other.wav", MakeWav(other, GameSampleRate));
        CliResult alone = Run({"encode", rom, wav, "--index", std::to_string(image.entries[1]), "--raw"});
        ASSERT_EQ(alone.status, 0) << alone.err;
        EXPECT_NE(alone.err.find("moves alone"), std::string::npos) << alone.err;
        Bytes after = ReadFileBytes(rom);
        EXPECT_TRUE(std::equal(shared.begin() + bytes.start, shared.begin() + bytes.end, after.begin() + bytes.start));
        EXPECT_NE(offset(after, image.entries[1]), copy);
        EXPECT_EQ(offset(after, image.entries[2]), copy);
        // With --all-sharing, the edit goes over the shared bytes for all.
        ASSERT_TRUE(WriteFileBytes(rom, shared));
        ASSERT_EQ(Run({"encode", rom, wav, "--index", std::to_string(image.entries[1]), "--raw", "--all-sharing"}).status, 0);
        after = ReadFileBytes(rom);
        EXPECT_FALSE(std::equal(shared.begin() + bytes.start, shared.begin() + bytes.end, after.begin() + bytes.start));
        for (int i : image.entries) EXPECT_EQ(offset(after, i), copy) << i;
    }
}

// space on the games' layout and on a moved hack, against the sums worked out
// here from what the generator says each entry holds: N values played (the
// data holds one more), compressed or not, at its rate.
TEST_F(CliHacks, SpaceCountsTheBytesAndTheLadderAsWorkedOutHere) {
    const auto bytesOf = [](SampleCoding coding, uint64_t n) -> uint64_t {
        if (coding == SampleCoding::Uncompressed) return 16 + n + 1;
        const uint64_t r = n % 64;
        return 16 + 33 * (n / 64) + (r == 0 ? 0 : r == 1 ? 1 : (r - 1) / 2 + 2);
    };
    HackRom games;
    games.rom = MakeRom(GameRomPlan());
    for (int i = 0; i < 388; ++i)
        games.entries.push_back({CrySampleOffset(games.rom, GameRomPlan(), i), SampleCoding::Compressed, GameSampleRate,
                                 Bytes(GameRomPlan().cries[i].size() - 1)});
    for (const HackRom& h : {games, MakeHackRom(MovedHackPlan(TableMove::Apart))}) {
        const std::string rom = Write("rom.gba", h.rom);
        CliResult r = Run({"space", rom, "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const json j = json::parse(r.out);
        std::map<uint32_t, const HackEntry*> samples;
        for (const HackEntry& e : h.entries) samples[e.sample] = &e;
        uint64_t total = 0;
        for (const auto& [at, e] : samples) total += bytesOf(e->coding, e->played.size());
        EXPECT_EQ(j["samples"], samples.size());
        EXPECT_EQ(j["bytes"], total);
        EXPECT_TRUE(j["duplicates"].empty());
        // The median of the loudness list gives each cry.
        std::vector<double> loudness;
        const json listed = json::parse(Run({"list", rom, "--json"}).out);
        for (const json& e : listed["entries"])
            if (!e["heard"].is_null() && !e["heard"]["loudness_db"].is_null()) loudness.push_back(e["heard"]["loudness_db"]);
        std::sort(loudness.begin(), loudness.end());
        ASSERT_FALSE(loudness.empty());
        const size_t n = loudness.size();
        EXPECT_NEAR(j["median_loudness_db"].get<double>(), n % 2 ? loudness[n / 2] : (loudness[n / 2 - 1] + loudness[n / 2]) / 2, 1e-9);
        ASSERT_EQ(j["ladder"].size(), 7u);
        for (const json& rung : j["ladder"]) {
            const uint64_t hz = rung["rate"];
            uint64_t at = 0;
            for (const auto& [offset, e] : samples) {
                const uint64_t n = e->played.size();
                at += bytesOf(e->coding, e->rate > hz ? (n * hz + e->rate - 1) / e->rate : n);
            }
            EXPECT_EQ(rung["bytes"], at) << hz;
            EXPECT_EQ(rung["freed"], total - at) << hz;
        }
    }
    EXPECT_EQ(Run({"space", Write("empty.gba", Bytes(100, 0))}).status, 1);
}

// What is heard: a 3-second cry is cut by the normal mode's hold, a rate above
// the mixer's costs bytes, and the dry runs that say so write nothing.
namespace {

const json* WarningOfCode(const json& warnings, const std::string& code) {
    for (const json& w : warnings)
        if (w["code"] == code) return &w;
    return nullptr;
}

}  // namespace

TEST_F(CliGames, EncodeAndImportWarnOfWhatTheGameCutsAndCannotPlay) {
    const std::string three = WavOf("three.wav", Tone(3 * GameSampleRate, 400, GameSampleRate));
    CliResult r = Run({"encode", romPath, three, "5", "--repoint-free", "--dry-run", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    json j = json::parse(r.out);
    const json* cut = WarningOfCode(j["warnings"], "CutInNormal");
    ASSERT_TRUE(cut) << j["warnings"];
    EXPECT_DOUBLE_EQ((*cut)["seconds_stored"].get<double>(), 3.0);
    EXPECT_LT((*cut)["seconds_heard"].get<double>(), 3.0);
    EXPECT_TRUE((*cut)["message"].is_string());
    EXPECT_TRUE(WarningOfCode(j["warnings"], "CutInModes"));
    EXPECT_FALSE(WarningOfCode(j["warnings"], "RateAboveMixer"));
    EXPECT_TRUE(j["snr_heard_db"].is_number());
    EXPECT_EQ(j["plan"]["cries"][0]["snr_heard_db"], j["snr_heard_db"]);
    EXPECT_NE(Run({"encode", romPath, three, "5", "--repoint-free", "--dry-run"}).err.find("cuts it short"),
              std::string::npos);
    // Louder than the table's other cries, as list hears them.
    std::vector<double> others;
    const json list = json::parse(Run({"list", romPath, "--json"}).out);
    for (const json& e : list["entries"])
        if (e["index"] != 4) others.push_back(e["heard"]["loudness_db"]);
    std::sort(others.begin(), others.end());
    const json* loud = WarningOfCode(j["warnings"], "LoudnessOff");
    ASSERT_TRUE(loud) << j["warnings"];
    ASSERT_EQ(others.size(), 387u);
    EXPECT_NEAR((*loud)["median_db"].get<double>(), others[193], 1e-9);
    EXPECT_GT((*loud)["loudness_db"].get<double>(), (*loud)["median_db"].get<double>() + 6);

    ASSERT_TRUE(WriteFileBytes(Path("high.wav"), MakeWav(Tone(22050, 400, 22050), 22050)));
    r = Run({"encode", romPath, Path("high.wav"), "5", "--repoint-free", "--rate", "22050", "--dry-run", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    j = json::parse(r.out);
    const json* rate = WarningOfCode(j["warnings"], "RateAboveMixer");
    ASSERT_TRUE(rate) << j["warnings"];
    EXPECT_EQ((*rate)["rate"], 22050);
    EXPECT_EQ((*rate)["bytes"], j["plan"]["cries"][0]["new_bytes"]);
    EXPECT_EQ((*rate)["bytes_at_mixer_rate"], SampleBytes(SampleKind::Compressed, 13379));
    EXPECT_EQ((*rate)["extra_bytes"], (*rate)["bytes"].get<int>() - (*rate)["bytes_at_mixer_rate"].get<int>());
    EXPECT_FALSE(WarningOfCode(j["warnings"], "CutInNormal"));

    fs::create_directory(dir / "in");
    fs::copy_file(three, dir / "in" / "cry-005.wav");
    r = Run({"import", romPath, Path("in"), "--dry-run", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    j = json::parse(r.out);
    EXPECT_TRUE(WarningOfCode(j["plan"]["cries"][0]["warnings"], "CutInNormal"));
    EXPECT_TRUE(j["plan"]["cries"][0]["snr_heard_db"].is_number());
    EXPECT_EQ(ReadFileBytes(romPath), rom);
}

// list --json hears every cry as render does in the normal mode.
TEST_F(CliGames, ListGivesEachCryAsHeard) {
    CliResult list = Run({"list", romPath, "--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    const json entries = json::parse(list.out)["entries"];
    for (int id : {1, 77, 388}) {
        CliResult r = Run({"render", romPath, std::to_string(id), "-o", Path("r.wav"), "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        const json render = json::parse(r.out)["renders"][0], heard = entries[id - 1]["heard"];
        EXPECT_EQ(heard["seconds_heard"], render["seconds_heard"]);
        EXPECT_EQ(heard["cut"], render["cut"]);
        EXPECT_EQ(heard["loudness_db"], render["rms_db"]);
    }
}

// Each imported cry is heard against the table as the import leaves it: 200
// loud cries make the loud ones the rule, and the quiet cries left the odd ones.
TEST_F(CliGames, ImportHearsEachCryAgainstTheTableItLeaves) {
    fs::create_directory(dir / "in");
    const Bytes loud = MakeWav(Tone(GameSampleRate / 10, 400, GameSampleRate, 120), GameSampleRate);
    for (int id = 1; id <= 200; ++id) {
        char name[32];
        std::snprintf(name, sizeof name, "cry-%03d.wav", id);
        ASSERT_TRUE(WriteFileBytes((dir / "in" / name).string(), loud));
    }
    CliResult r = Run({"import", romPath, Path("in"), "--dry-run", "--quality", "fast", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json planned = json::parse(r.out);
    for (const json& c : planned["plan"]["cries"])
        EXPECT_FALSE(WarningOfCode(c["warnings"], "LoudnessOff")) << c["warnings"];
    fs::remove_all(dir / "in");
    fs::create_directory(dir / "in");
    ASSERT_TRUE(WriteFileBytes((dir / "in" / "cry-001.wav").string(), loud));
    r = Run({"import", romPath, Path("in"), "--dry-run", "--json"});
    EXPECT_TRUE(WarningOfCode(json::parse(r.out)["plan"]["cries"][0]["warnings"], "LoudnessOff"));
}
// --fit on a hack's tables: the cries of the table in use, and their
// reverse entries, take the rates chosen; the dead tables stay as they were.
TEST_F(CliHacks, ImportFitWorksOnTheTableInUse) {
    const HackRom h = MakeHackRom(RatesHackPlan());
    const std::string rom = Write("hack.gba", h.rom);
    WritePack(dir / "pack", 1, 40);
    CliResult r = Run({"import", rom, Path("pack"), "--rate", "22050", "--reclaim"});
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("--fit would fit"), std::string::npos) << r.err;
    r = Run({"import", rom, Path("pack"), "--rate", "22050", "--reclaim", "--fit", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes after = ReadFileBytes(rom);
    const json fitted = json::parse(r.out);
    for (const json& c : fitted["plan"]["cries"]) {
        const Entry cry = ReadEntry(after, h.table, c["index"]), back = ReadEntry(after, h.reverse, c["index"]);
        EXPECT_EQ(cry.pointer, back.pointer);
        EXPECT_EQ(InspectSample(after, cry.offset).Hz(), c["rate"]);
        EXPECT_LE(c["rate"].get<uint32_t>(), 13379u);
    }
    if (h.oldTable) {
        EXPECT_TRUE(std::equal(h.rom.begin() + *h.oldTable, h.rom.begin() + *h.oldTable + 12 * 388, after.begin() + *h.oldTable));
    }
}
