// Each command of the built program on synthetic ROMs, in text and JSON.
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>

#include "plan.h"
#include "report.h"
#include "support.h"

namespace {

using nlohmann::json;

class CliCommands : public CliRomTest {
protected:
    json RunJson(std::vector<std::string> args) {
        args.push_back("--json");
        CliResult r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return json::parse(r.out);
    }

    Bytes Decoded(const Bytes& image, int index) {
        uint32_t offset = CrySampleOffset(image, plan, index);
        const Result<uint16_t> n = ReadSampleLength(image, offset);
        EXPECT_TRUE(n.Ok());
        Bytes wav(n.value);
        DecodeSample(image, offset, wav);
        return wav;
    }
};

TEST_F(CliCommands, IdentifyScannedAndKnownReleases) {
    CliResult r = Run({"identify", romPath});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Inconnu. Table trouvée à 95%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0x1000 (table scan)"), std::string::npos) << r.out;

    // A known release: its offset is used when entries lie there, and a
    // table that has moved is looked for by the scan.
    RomPlan known = ToneRomPlan(3);
    known.gameCode = "AXVE";
    known.revision = 2;
    known.size = 0x452600;
    known.tableOffset = 0x4525A4;
    std::string knownPath = Path("known.gba");
    ASSERT_TRUE(WriteFileBytes(knownPath, MakeRom(known)));
    json j = RunJson({"identify", knownPath});
    EXPECT_EQ(j["label"], "Rubis US v1.1");
    EXPECT_EQ(j["code"], "AXVE");
    EXPECT_EQ(j["revision"], 2);
    EXPECT_EQ(j["found_by"], "Known");
    EXPECT_EQ(j["table"], 0x4525A4);
    EXPECT_EQ(j["entries_in_table"], 3);
    EXPECT_FALSE(j["table_moved"].get<bool>());
    EXPECT_TRUE(j["reverse_table"].is_null());

    known.tableOffset = 0x2000;
    ASSERT_TRUE(WriteFileBytes(knownPath, MakeRom(known)));
    j = RunJson({"identify", knownPath});
    EXPECT_TRUE(j["table_moved"].get<bool>());
    EXPECT_EQ(j["table"], 0x2000);
    EXPECT_NE(Run({"identify", knownPath}).out.find("the table has moved"), std::string::npos);
}

TEST_F(CliCommands, IdentifyWithoutATableFails) {
    // A GBA header (its fixed byte) over blank flash: an image, without a table.
    Bytes blank(0x1000, 0xFF);
    blank[HeaderFixedOfs] = HeaderFixedValue;
    std::string path = Path("blank.gba");
    ASSERT_TRUE(WriteFileBytes(path, blank));
    CliResult r = Run({"identify", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Version inconnue"), std::string::npos);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(CliCommands, ListDescribesEveryEntry) {
    AddSecondTable(rom, plan, 0x18000);
    uint32_t plainAt = 0x1F000;
    Bytes plain = Noise(200, 5);
    PutUncompressedSample(rom, plainAt, plain);
    PutLe32(&rom[plan.tableOffset + 12 * 3 + 4], RomAddressBase | plainAt);  // ID 4
    ASSERT_TRUE(WriteFileBytes(romPath, rom));

    json j = RunJson({"list", romPath});
    EXPECT_EQ(j["rule"], "cry-number");
    EXPECT_EQ(j["table"], 0x1000);
    EXPECT_EQ(j["reverse_table"], 0x18000);
    // The table ends where the entries' words do: 20 rows, not 411.
    ASSERT_EQ(j["entries"].size(), 20u);
    EXPECT_EQ(j["entries_in_table"], 20);
    const json& first = j["entries"][0];
    EXPECT_EQ(first["id"], 1);
    EXPECT_EQ(first["at"], plan.tableOffset);
    EXPECT_EQ(first["sample"]["offset"], CrySampleOffset(rom, plan, 0));
    EXPECT_EQ(first["sample"]["length"], plan.cries[0].size());
    EXPECT_EQ(first["sample"]["bytes"], SampleExtent(static_cast<uint32_t>(plan.cries[0].size())));
    EXPECT_DOUBLE_EQ(first["sample"]["seconds"].get<double>(), plan.cries[0].size() / 10512.0);
    EXPECT_EQ(first["sample"]["rate"], 10512);
    EXPECT_EQ(first["sample"]["kind"], "compressed");
    EXPECT_EQ(first["sample"]["sound"], true);
    EXPECT_EQ(first["reverse_in_step"], true);
    const json& fourth = j["entries"][3];
    EXPECT_EQ(fourth["sample"]["kind"], "uncompressed");
    EXPECT_EQ(fourth["sample"]["length"], 200);
    EXPECT_EQ(fourth["reverse_in_step"], false);  // only the cry table was changed
    for (const json& row : j["entries"])
        for (const char* key : {"id", "index", "at", "pointer", "reverse_in_step", "sample"})
            EXPECT_TRUE(row.contains(key)) << key;

    json species = RunJson({"list", romPath, "--species"});
    EXPECT_EQ(species["rule"], "species-number");
    EXPECT_EQ(species["entries"].size(), 20u);

    CliResult text = Run({"list", romPath});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("uncompressed"), std::string::npos);
    EXPECT_NE(text.out.find("reverse table 0x18000"), std::string::npos);
    // What is no sample reads "invalid", not numbers.
    PutLe32(&rom[plan.tableOffset + 12 * 5 + 4], RomAddressBase | 0x1C000);
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    EXPECT_NE(Run({"list", romPath}).out.find("invalid"), std::string::npos);
}

TEST_F(CliCommands, DumpWritesTheDecodedSampleAtItsRate) {
    std::string out = Path("3.wav");
    CliResult r = Run({"dump", romPath, "3", "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    WavFile w = ParseWav(ReadFileBytes(out));
    EXPECT_EQ(w.rate, 10512u);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.bits, 8);
    EXPECT_EQ(w.data, Decoded(rom, 2));

    // By offset (as a ROM address too), under the dialog's header: the same
    // values labelled 11050 Hz.
    std::string byOffset = Path("o.wav");
    json j = RunJson({"dump", romPath, "--offset", Hex8(RomAddressBase | CrySampleOffset(rom, plan, 2)), "-o",
                      byOffset, "--dialog-header"});
    EXPECT_EQ(j["rate"], 11050);
    WavFile o = ParseWav(ReadFileBytes(byOffset));
    EXPECT_EQ(o.rate, 11050u);
    EXPECT_EQ(o.data, w.data);

    // At any other rate the values are resampled: the duration stays, and
    // encoding the file back gives a cry as long as the first, within one
    // sample period.
    for (const char* rate : {"8000", "11050", "22050", "44100"}) {
        std::string at = Path(std::string(rate) + ".wav");
        ASSERT_EQ(Run({"dump", romPath, "3", "-o", at, "--rate", rate}).status, 0);
        WavFile r = ParseWav(ReadFileBytes(at));
        EXPECT_NEAR(r.data.size() / double(r.rate), w.data.size() / 10512.0, 1.0 / 10512) << rate;
        ASSERT_EQ(Run({"encode", romPath, at, "4", "--dry-run", "--preview", Path("back.wav")}).status, 0) << rate;
        EXPECT_NEAR(double(ParseWav(ReadFileBytes(Path("back.wav"))).data.size()), double(w.data.size()), 1.0) << rate;
    }
    EXPECT_EQ(ReadFileBytes(romPath), rom);  // --dry-run with --preview writes only the preview
}

TEST_F(CliCommands, DumpReadsUncompressedSamples) {
    Bytes plain = Noise(300, 9);
    PutUncompressedSample(rom, 0x1F000, plain);
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    std::string out = Path("plain.wav");
    ASSERT_EQ(Run({"dump", romPath, "--offset", "1F000", "-o", out}).status, 0);
    EXPECT_EQ(ParseWav(ReadFileBytes(out)).data, plain);
}

TEST_F(CliCommands, DumpThenEncodeIsLossless) {
    // ID 6 holds 485 samples: its last block is partly padding. The greedy
    // coder gives back the very bytes; the best one the very samples (it
    // may code the padding differently).
    std::string wav = Path("6.wav");
    ASSERT_EQ(Run({"dump", romPath, "6", "-o", wav}).status, 0);
    Bytes dumped = ReadFileBytes(wav);
    ASSERT_EQ(Run({"encode", romPath, wav, "6", "--quality", "fast"}).status, 0);
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    ASSERT_EQ(Run({"encode", romPath, wav, "6"}).status, 0);
    std::string again = Path("again.wav");
    ASSERT_EQ(Run({"dump", romPath, "6", "-o", again}).status, 0);
    EXPECT_EQ(ReadFileBytes(again), dumped);
}

TEST_F(CliCommands, DumpAllWritesEveryCryAndSummarises) {
    std::string out = Path("cries");
    CliResult r = Run({"dump-all", romPath, out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << "no progress bar off a terminal: " << r.err;
    EXPECT_NE(r.out.find("dumped 20 cries"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
    for (int i = 0; i < 20; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "cry-%03d.wav", i + 1);
        EXPECT_EQ(ParseWav(ReadFileBytes((fs::path(out) / name).string())).data, Decoded(rom, i)) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 20);

    json j = RunJson({"dump-all", romPath, Path("again"), "--species"});
    EXPECT_EQ(j["written"].size(), 20u);
    EXPECT_EQ(j["written"][0]["file"], (fs::path(Path("again")) / "species-001.wav").string());
}

TEST_F(CliCommands, EncodeInPlaceChangesOnlyTheSampleExtent) {
    Bytes sound = Sweep(250, 300, 2000);  // shorter than cry 8's 559 samples
    std::string wav = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(sound, 10512)));
    json j = RunJson({"encode", romPath, wav, "8"});
    uint32_t offset = CrySampleOffset(rom, plan, 7);
    EXPECT_EQ(j["id"], 8);
    EXPECT_EQ(j["index"], 7);
    EXPECT_EQ(j["plan"]["cries"][0]["new_offset"], offset);
    EXPECT_EQ(j["plan"]["cries"][0]["ids"], json::array({8}));
    EXPECT_EQ(j["quality"], "best");
    EXPECT_EQ(j["plan"]["pointers"].size(), 0u);

    Bytes expected = rom;
    uint32_t span = SampleExtent(250);
    EncodeSample(sound, std::span<uint8_t>(expected).subspan(offset, span), EncodeMode::Best);
    EXPECT_EQ(ReadFileBytes(romPath), expected);
}

TEST_F(CliCommands, EncodeLongerNeedsForceAndThenOverwritesWhatFollows) {
    std::string wav = Path("in.wav");
    Bytes sound = Tone(1000, 500);
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(sound, 10512)));
    CliResult r = Run({"encode", romPath, wav, "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--repoint-free"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(romPath), rom);
    // Under --json the refusal carries the plan's problems, typed.
    r = Run({"encode", romPath, wav, "1", "--json"});
    EXPECT_EQ(r.status, 1);
    const json refused = json::parse(r.out);
    EXPECT_EQ(refused["status"], 1);
    ASSERT_EQ(refused["problems"].size(), 1u) << r.out;
    EXPECT_EQ(refused["problems"][0]["kind"], "DoesNotFit");
    EXPECT_EQ(refused["problems"][0]["ids"], json::array({1}));
    EXPECT_EQ(refused["problems"][0]["bytes"], SampleExtent(1000));
    EXPECT_EQ(refused["problems"][0]["room"], SampleExtent(static_cast<uint32_t>(plan.cries[0].size())));
    EXPECT_EQ(ReadFileBytes(romPath), rom);

    ASSERT_EQ(Run({"encode", romPath, wav, "1", "--force", "--quality", "fast"}).status, 0);
    Bytes expected = rom;
    uint32_t offset = CrySampleOffset(rom, plan, 0);
    EncodeSample(sound, std::span<uint8_t>(expected).subspan(offset, SampleExtent(1000)), EncodeMode::Fast);
    EXPECT_EQ(ReadFileBytes(romPath), expected);
}

TEST_F(CliCommands, EncodeRepointFreeUpdatesBothTables) {
    AddSecondTable(rom, plan, 0x18000);
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    Bytes sound = Tone(2000, 700);
    std::string wav = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(sound, 10512)));
    json j = RunJson({"encode", romPath, wav, "6", "--repoint-free", "--free-start", "0x10000"});
    uint32_t offset = j["plan"]["cries"][0]["new_offset"];
    uint32_t span = SampleExtent(2000);
    EXPECT_EQ(offset % 4, 0u);
    EXPECT_GE(offset, 0x10000u);
    ASSERT_EQ(j["plan"]["pointers"].size(), 2u);

    Bytes after = ReadFileBytes(romPath);
    ASSERT_EQ(after.size(), rom.size());
    uint32_t cryPointer = plan.tableOffset + 12 * 5 + 4, reversePointer = 0x18000 + 12 * 5 + 4;
    EXPECT_EQ(GetLe32(&after[cryPointer]), RomAddressBase | offset);
    EXPECT_EQ(GetLe32(&after[reversePointer]), RomAddressBase | offset);
    // The new span holds the encoded sample; outside it and the two pointer
    // words (the old sample included) nothing changed.
    Bytes sample(span);
    EncodeSample(sound, sample, EncodeMode::Best);
    EXPECT_TRUE(std::equal(sample.begin(), sample.end(), after.begin() + offset));
    for (size_t i = 0; i < after.size(); ++i) {
        bool inSpan = i >= offset && i < offset + span;
        bool inPointer = (i >= cryPointer && i < cryPointer + 4) || (i >= reversePointer && i < reversePointer + 4);
        if (!inSpan && !inPointer) {
            ASSERT_EQ(after[i], rom[i]) << "byte " << i;
        }
    }
    // The new sample is a cry like any other.
    std::string back = Path("back.wav");
    ASSERT_EQ(Run({"dump", romPath, "6", "-o", back}).status, 0);
    EXPECT_EQ(ParseWav(ReadFileBytes(back)).data.size(), 2000u);
}

TEST_F(CliCommands, EncodeAtAnOffsetTakesFreeSpaceOrASample) {
    std::string wav = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Tone(100, 300), 10512)));
    EXPECT_EQ(Run({"encode", romPath, wav, "--offset", "1C000"}).status, 0);  // all FF there
    EXPECT_EQ(InspectLength(ReadFileBytes(romPath), 0x1C000), 100);
    EXPECT_EQ(Run({"encode", romPath, wav, "--offset", Hex8(CrySampleOffset(rom, plan, 4))}).status, 0);
}

TEST_F(CliCommands, RepointWritesBothPointers) {
    AddSecondTable(rom, plan, 0x18000);
    ASSERT_TRUE(WriteFileBytes(romPath, rom));
    uint32_t target = CrySampleOffset(rom, plan, 9);
    json j = RunJson({"repoint", romPath, "2", Hex8(target)});
    EXPECT_EQ(j["index"], 1);
    Bytes expected = rom;
    PutLe32(&expected[plan.tableOffset + 12 + 4], RomAddressBase | target);
    PutLe32(&expected[0x18000 + 12 + 4], RomAddressBase | target);
    EXPECT_EQ(ReadFileBytes(romPath), expected);

    // Only the pointer word: repointing to a non-sample needs --force.
    EXPECT_EQ(Run({"repoint", romPath, "2", "1C000"}).status, 1);
    EXPECT_EQ(ReadFileBytes(romPath), expected);
    EXPECT_EQ(Run({"repoint", romPath, "2", "1C000", "--force"}).status, 0);
    EXPECT_EQ(GetLe32(&ReadFileBytes(romPath)[plan.tableOffset + 12 + 4]), RomAddressBase | 0x1C000);
}

TEST_F(CliCommands, QualityComparesTheTwoModes) {
    std::string wav = Path("sweep.wav");
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Sweep(10512, 200, 4000, 10512), 10512)));
    json j = RunJson({"quality", wav});
    EXPECT_EQ(j["length"], 10512);
    EXPECT_GT(j["best"]["snr_db"].get<double>(), j["fast"]["snr_db"].get<double>());
    EXPECT_EQ(j["best"]["worst_blocks"], 0);
    EXPECT_GT(j["fast"]["worst_blocks"].get<int>(), 0);
    EXPECT_EQ(j["best"]["blocks"], 165);
    // As heard, the error the coding adds still tells the modes apart.
    EXPECT_GT(j["best"]["snr_heard_db"].get<double>(), j["fast"]["snr_heard_db"].get<double>());
    EXPECT_TRUE(j["warnings"].empty()) << j["warnings"];
    CliResult text = Run({"quality", wav});
    EXPECT_NE(text.out.find("best"), std::string::npos);
    EXPECT_NE(text.out.find("fast"), std::string::npos);
    // Without a ROM: the third game's modes and no table to be louder than.
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Sweep(29 * 2205, 200, 4000, 22050), 22050)));
    j = RunJson({"quality", wav, "--keep-rate"});
    std::vector<std::string> codes;
    for (const json& w : j["warnings"]) codes.push_back(w["code"]);
    EXPECT_EQ(codes, (std::vector<std::string>{"CutInNormal", "CutInModes", "RateAboveMixer"}));
}

TEST_F(CliCommands, ASineSurvivesEncodeAndDump) {
    std::string wav = Path("sine.wav");
    ASSERT_TRUE(WriteFileBytes(wav, StereoSine16(44100, 523.25, 44100)));
    ASSERT_EQ(Run({"encode", romPath, wav, "12", "--repoint-free"}).status, 0);
    std::string back = Path("back.wav");
    ASSERT_EQ(Run({"dump", romPath, "12", "-o", back}).status, 0);
    WavFile w = ParseWav(ReadFileBytes(back));
    EXPECT_NEAR(w.data.size(), 10512.0, 1.0);
    EXPECT_NEAR(MeasureFrequency(w.data, w.rate), 523.25, 5.23);
}

TEST_F(CliCommands, SampleFilesRoundTripByteForByte) {
    std::string wav = Path("in.wav");
    ASSERT_TRUE(WriteFileBytes(wav, MakeWav(Noise(485, 3), 10512)));
    for (const std::string kind : {"compressed", "uncompressed"}) {
        const std::string first = Path(kind + ".bin"), back = Path("back.wav"), again = Path("again.bin");
        ASSERT_EQ(Run({"sample", "encode", wav, first, "--kind", kind, "--quality", "fast"}).status, 0) << kind;
        ASSERT_EQ(Run({"sample", "dump", first, back}).status, 0) << kind;
        ASSERT_EQ(Run({"sample", "encode", back, again, "--kind", kind, "--quality", "fast"}).status, 0) << kind;
        const Bytes sample = ReadFileBytes(first);
        EXPECT_EQ(ReadFileBytes(again), sample) << kind;
        // S + 1 values, the last one the loop value; the length field S.
        ASSERT_EQ(sample.size(), kind == "compressed" ? SampleExtent(486) : 16 + 486u) << kind;
        EXPECT_EQ(GetLe32(&sample[12]), 485u) << kind;
    }
}

TEST_F(CliCommands, SampleDumpReadsTheFilesSourceBuildsKeep) {
    // As their converter writes them, at 22050 Hz: the length field S, then
    // S values and the loop value 0; a compressed one cut after the byte that
    // holds it, or with its last block whole.
    const uint32_t n = 199;
    Bytes stored = Noise(n, 7);
    stored.push_back(0x80);
    const struct {
        const char* name;
        uint8_t type;
        uint32_t dataBytes;
    } cases[] = {{"compressed", 1, SampleExtent(n + 1) - 16}, {"compressed, last block whole", 1, 4 * 33},
                 {"uncompressed", 0, n + 1}};
    for (const auto& c : cases) {
        Bytes file(16 + c.dataBytes);
        file[0] = c.type;
        PutLe32(&file[4], 22050 * 1024);
        PutLe32(&file[12], n);
        std::span<uint8_t> data(file.begin() + 16, file.end());
        if (c.type == 1) EncodeBlocks(stored, data, EncodeMode::Fast);
        else std::transform(stored.begin(), stored.end(), data.begin(), [](uint8_t v) { return v ^ 0x80; });
        Bytes expected = c.type == 1 ? EncReportedValues(stored) : stored;
        expected.resize(n);
        ASSERT_TRUE(WriteFileBytes(Path("in.bin"), file));
        ASSERT_EQ(Run({"sample", "dump", Path("in.bin"), Path("out.wav")}).status, 0) << c.name;
        const WavFile w = ParseWav(ReadFileBytes(Path("out.wav")));
        EXPECT_EQ(w.rate, 22050u) << c.name;
        EXPECT_EQ(w.data, expected) << c.name;
    }
}

TEST_F(CliCommands, SampleEncodeOfADirectoryIsAllOrNothing) {
    const Bytes a = Tone(300, 440, 10512), b = Sweep(500, 200, 2000, 10512);
    fs::create_directory(Path("in"));
    ASSERT_TRUE(WriteFileBytes(Path("in/a.wav"), MakeWav(a, 10512)));
    ASSERT_TRUE(WriteFileBytes(Path("in/b.aiff"), MakeAiff(b, 10512)));
    json j = RunJson({"sample", "encode", Path("in"), Path("out"), "--kind", "uncompressed"});
    EXPECT_EQ(j["samples"].size(), 2u);
    const std::pair<const char*, const Bytes*> expected[] = {{"out/a.bin", &a}, {"out/b.bin", &b}};
    for (const auto& [name, values] : expected) {
        const Bytes file = ReadFileBytes(Path(name));
        ASSERT_EQ(file.size(), 16 + values->size() + 1) << name;
        Bytes played(file.begin() + 16, file.end() - 1);
        for (uint8_t& v : played) v ^= 0x80;
        EXPECT_EQ(played, *values) << name;
        EXPECT_EQ(file.back(), 0) << name;
    }

    // One file that is no sound: nothing is written, and it is named.
    ASSERT_TRUE(WriteFileBytes(Path("in/c.wav"), Bytes(100, 'x')));
    const std::string before = Slurp(Path("out/a.bin")) + Slurp(Path("out/b.bin"));
    CliResult r = Run({"sample", "encode", Path("in"), Path("out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("c.wav"), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(Path("out/a.bin")) + Slurp(Path("out/b.bin")), before);
    EXPECT_FALSE(fs::exists(Path("out/c.bin")));
}

TEST_F(CliCommands, HelpOnEveryCommand) {
    for (const char* cmd : {"identify", "list", "dump", "dump-all", "encode", "repoint", "import", "quality", "sample"}) {
        CliResult r = Run({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_NE(r.out.find("Usage:"), std::string::npos) << cmd;
    }
}

}  // namespace
