// render: the WAV files and figures of the command are the playback model's,
// on the games' layout and on hacks' (uncompressed cries, other rates, a
// reverse table out of step, a voice byte that disagrees with its sample).
#include <nlohmann/json.hpp>

#include "image.h"
#include "playback.h"
#include "support.h"

namespace {

using nlohmann::json;

// The 16-bit values of a render's WAV, back in 8-bit steps.
std::vector<int8_t> RenderedValues(const WavFile& w) {
    std::vector<int8_t> values(w.data.size() / 2);
    for (size_t i = 0; i < values.size(); ++i) {
        const auto v = static_cast<int16_t>(GetLe16(&w.data[2 * i]));
        values[i] = static_cast<int8_t>(v / 256);
        EXPECT_EQ(v % 256, 0) << i;
    }
    return values;
}

class CliRender : public CliGameTest {
protected:
    // The entry of `table` at `index` as the engine reads it.
    PlayedEntry EntryOf(const Bytes& image, uint32_t table, int index) const {
        const Entry e = ReadEntry(image, table, index);
        return {static_cast<uint8_t>(e.firstWord), std::span(image).subspan(e.offset)};
    }

    json RenderJson(const std::string& rom, std::vector<std::string> args) {
        args.insert(args.begin(), {"render", rom});
        args.push_back("--json");
        const CliResult r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status == 0 ? json::parse(r.out) : json();
    }

    // The WAV at `path` holds exactly the model's render, and the JSON row
    // its figures.
    void ExpectRender(const std::string& path, const json& row, const Playback& p, int channels = 1) {
        const WavFile w = ParseWav(ReadFileBytes(path));
        EXPECT_EQ(w.rate, MixerRateHz);
        EXPECT_EQ(w.bits, 16);
        EXPECT_EQ(w.channels, channels);
        EXPECT_EQ(RenderedValues(w), p.samples) << path;
        EXPECT_EQ(row["playable"], p.figures.playable);
        EXPECT_DOUBLE_EQ(row["seconds_stored"].get<double>(), p.figures.secondsStored);
        EXPECT_DOUBLE_EQ(row["seconds_heard"].get<double>(), p.figures.secondsHeard);
        EXPECT_EQ(row["cut"], p.figures.cut);
        EXPECT_EQ(row["peak"], p.figures.peak);
        EXPECT_EQ(row["wrapped"], p.figures.wrapped);
    }
};

TEST_F(CliRender, EveryModeOfTheGamesLayout) {
    const json j = RenderJson(romPath, {"25", "-o", Path("modes"), "--mode", "all"});
    ASSERT_EQ(j["renders"].size(), 13u);
    EXPECT_EQ(j["rate"], 13379);
    EXPECT_EQ(j["modes_of"], "third");  // a game code the tool does not know
    for (const json& row : j["renders"]) {
        const CryMode& m = *FindCryMode(GameFamily::Third, row["number"].get<int>());
        EXPECT_EQ(row["mode"], m.name);
        EXPECT_EQ(fs::path(row["file"].get<std::string>()), fs::path(Path("modes")) / ("cry-025-" + std::string(m.name) + ".wav"));
        // The reverse table follows the cry table and is in step with it.
        const uint32_t table = m.reverse ? ReverseTableOffset(plan) : plan.tableOffset;
        EXPECT_EQ(row["reverse_entry_in_step"], m.reverse ? json(true) : json()) << m.name;
        ExpectRender(row["file"], row, RenderCry(EntryOf(rom, table, 24), m));
    }
    const json& normal = j["renders"][0];
    EXPECT_NEAR(normal["seconds_stored"].get<double>(), (plan.cries[24].size() - 1) / 10512.0, 1e-9);
    EXPECT_GT(normal["seconds_heard"].get<double>(), normal["seconds_stored"].get<double>());  // the echo
    EXPECT_LT(normal["peak"].get<int>(), 48);
}

TEST_F(CliRender, OneModeByNameOrNumberWithItsOptions) {
    const json byName = RenderJson(romPath, {"--index", "7", "-o", Path("faint.wav"), "--mode", "faint", "--stereo",
                                             "--reverb", "0"});
    ASSERT_EQ(byName["renders"].size(), 1u);
    ExpectRender(Path("faint.wav"), byName["renders"][0],
                 RenderCry(EntryOf(rom, plan.tableOffset, 7), *FindCryMode(GameFamily::Third, 5), {0, true}), 2);
    const json byNumber = RenderJson(romPath, {"--index", "7", "-o", Path("five.wav"), "--mode", "5", "--stereo",
                                               "--reverb", "0"});
    EXPECT_EQ(ReadFileBytes(Path("five.wav")), ReadFileBytes(Path("faint.wav")));
    const CliResult text = Run({"render", romPath, "8", "-o", Path("normal.wav")});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("normal, "), std::string::npos) << text.out;
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--reverb", "128"}, {"--reverb", "-1"}, {"--mode", "13"}, {"--mode", "weak doubles"}}) {
        std::vector<std::string> args = {"render", romPath, "8", "-o", Path("bad.wav")};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(Run(args).status, 2) << bad[0] << " " << bad[1];
    }
    EXPECT_FALSE(fs::exists(Path("bad.wav")));
    EXPECT_EQ(Run({"render", romPath, "8", "--index", "8", "-o", Path("bad.wav")}).status, 2);
    EXPECT_NE(Run({"render", romPath, "8", "-o", romPath}).status, 0);
    EXPECT_EQ(ReadFileBytes(romPath), rom);
}

TEST_F(CliRender, TheFirstGamesHaveSixModesAndNoReverse) {
    RomPlan first = plan;
    first.gameCode = "AXVE";
    const std::string path = Path("first.gba");
    const Bytes image = MakeRom(first);
    ASSERT_TRUE(WriteFileBytes(path, image));
    const json j = RenderJson(path, {"3", "-o", Path("first"), "--mode", "all"});
    ASSERT_EQ(j["renders"].size(), 6u);
    EXPECT_EQ(j["modes_of"], "first-two");
    for (const json& row : j["renders"]) {
        EXPECT_TRUE(row["reverse_entry_in_step"].is_null());
        ExpectRender(row["file"], row,
                     RenderCry(EntryOf(image, first.tableOffset, 2), *FindCryMode(GameFamily::First, row["number"].get<int>())));
    }
    EXPECT_EQ(Run({"render", path, "3", "-o", Path("x.wav"), "--mode", "roar-1"}).status, 2);
}

// A hack's reverse entry repointed at another cry, and an uncompressed cry
// whose voice byte says compressed.
TEST_F(CliRender, HacksReverseEntriesAndVoiceBytes) {
    HackRom h = MakeHackRom(MixedHackPlan());
    // Entry 9 of the reverse table plays cry 10's sample.
    PutLe32(&h.rom[h.reverse + 9 * CryEntrySize + CryEntryPointerOfs],
            GetLe32(&h.rom[h.table + 10 * CryEntrySize + CryEntryPointerOfs]));
    const std::string path = Path("hack.gba");
    ASSERT_TRUE(WriteFileBytes(path, h.rom));
    const json j = RenderJson(path, {"--index", "9", "-o", Path("growl.wav"), "--mode", "growl-1"});
    EXPECT_EQ(j["renders"][0]["reverse_entry_in_step"], false);
    ExpectRender(Path("growl.wav"), j["renders"][0], RenderCry(EntryOf(h.rom, h.reverse, 9), *FindCryMode(GameFamily::Third, 9)));
    // Entry 4 is uncompressed: it plays; under the compressed voice byte it is silent.
    const json plain = RenderJson(path, {"--index", "4", "-o", Path("plain.wav")});
    EXPECT_EQ(plain["renders"][0]["playable"], true);
    EXPECT_GT(plain["renders"][0]["peak"].get<int>(), 0);
    h.rom[h.table + 4 * CryEntrySize] = 0x20;
    ASSERT_TRUE(WriteFileBytes(path, h.rom));
    const json silent = RenderJson(path, {"--index", "4", "-o", Path("silent.wav")});
    EXPECT_EQ(silent["renders"][0]["playable"], false);
    EXPECT_TRUE(silent["renders"][0]["rms_db"].is_null());
    EXPECT_TRUE(ParseWav(ReadFileBytes(Path("silent.wav"))).data.empty());
    const CliResult text = Run({"render", path, "--index", "4", "-o", Path("silent.wav")});
    EXPECT_NE(text.out.find("plays silence"), std::string::npos) << text.out;
}

// An image with no reverse table: the reverse modes play the cry's own
// sample backwards.
TEST_F(CliRender, WithoutAReverseTableTheCryPlaysBackwards) {
    const RomPlan tones = ToneRomPlan(20);
    const Bytes image = MakeRom(tones);
    const std::string path = Path("tones.gba");
    ASSERT_TRUE(WriteFileBytes(path, image));
    const json j = RenderJson(path, {"6", "-o", Path("echo.wav"), "--mode", "echo-start"});
    EXPECT_TRUE(j["renders"][0]["reverse_entry_in_step"].is_null());
    PlayedEntry cry = EntryOf(image, tones.tableOffset, 5);
    cry.voice |= 0x10;
    ExpectRender(Path("echo.wav"), j["renders"][0], RenderCry(cry, *FindCryMode(GameFamily::Third, 4)));
    const CliResult text = Run({"render", path, "6", "-o", Path("echo.wav"), "--mode", "4"});
    EXPECT_NE(text.out.find("no reverse table"), std::string::npos) << text.out;
}

}  // namespace
