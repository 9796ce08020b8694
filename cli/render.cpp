// render: what the game plays of one cry, through the playback model of the
// games' engine (playback.h), written as a 16-bit WAV at the mixer's rate so
// that its 8-bit output is kept whole. One mode, or every mode of the
// release's game into a directory.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "command.h"
#include "context.h"
#include "hearing.h"
#include "options.h"
#include "output.h"
#include "playback.h"
#include "text.h"

#include <sndfile.h>

namespace {

struct RenderArgs {
    std::string rom;
    TargetArgs target;
    std::string out;
    std::string mode = "normal";
    int reverb = 50;
    bool stereo = false;
    TableArgs table;
    bool json = false;
};

constexpr const char* AllModes = "all";

// One mode rendered: the entry played, its render and where it went.
struct Rendered {
    const CryMode* mode;
    std::optional<bool> reverseInStep;  // modes that play the reverse table, where there is one
    PlaybackFigures figures;
    std::string path;
};

// The modes `--mode` names in the family's table: a name, a number, or all.
std::vector<const CryMode*> ModesNamed(GameFamily family, const std::string& text) {
    std::vector<const CryMode*> modes;
    if (text == AllModes) {
        for (const CryMode& m : CryModes(family)) modes.push_back(&m);
        return modes;
    }
    const bool number = !text.empty() && text.size() <= 2 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const CryMode* m = number ? FindCryMode(family, std::stoi(text)) : FindCryMode(family, text);
    if (!m) {
        std::string names;
        for (const CryMode& c : CryModes(family)) names += (names.empty() ? "" : ", ") + std::string(c.name);
        BadUsage("no cry mode '" + text + "' in this game: " + names + ", a number from 0 to " +
                 std::to_string(CryModes(family).size() - 1) + ", or all");
    }
    return {m};
}

const char* FamilyName(GameFamily family) {
    switch (family) {
        case GameFamily::First: return "first-two";
        case GameFamily::Last: return "last-two";
        case GameFamily::Third: break;
    }
    return "third";
}

// A 16-bit PCM WAV of the 8-bit output, each step 256, made by libsndfile
// in memory.
struct MemoryFile {
    Bytes bytes;
    sf_count_t at = 0;
};

MemoryFile& Memory(void* data) { return *static_cast<MemoryFile*>(data); }

SF_VIRTUAL_IO MemoryIo() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* d) { return static_cast<sf_count_t>(Memory(d).bytes.size()); };
    io.seek = [](sf_count_t offset, int whence, void* d) {
        MemoryFile& m = Memory(d);
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m.at : static_cast<sf_count_t>(m.bytes.size());
        return m.at = std::max<sf_count_t>(0, base + offset);
    };
    io.read = [](void* to, sf_count_t count, void* d) {
        MemoryFile& m = Memory(d);
        const sf_count_t n = std::clamp<sf_count_t>(static_cast<sf_count_t>(m.bytes.size()) - m.at, 0, count);
        std::copy_n(m.bytes.begin() + m.at, n, static_cast<uint8_t*>(to));
        m.at += n;
        return n;
    };
    io.write = [](const void* from, sf_count_t count, void* d) {
        MemoryFile& m = Memory(d);
        if (static_cast<size_t>(m.at + count) > m.bytes.size()) m.bytes.resize(static_cast<size_t>(m.at + count));
        std::copy_n(static_cast<const uint8_t*>(from), count, m.bytes.begin() + m.at);
        m.at += count;
        return count;
    };
    io.tell = [](void* d) { return Memory(d).at; };
    return io;
}

Bytes Pcm16Wav(const std::vector<int8_t>& samples, int channels) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(MixerRateHz);
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SF_VIRTUAL_IO io = MemoryIo();
    MemoryFile file;
    SNDFILE* f = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (!f) Fail(std::string("cannot make a WAV file: ") + sf_strerror(nullptr));
    std::vector<short> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), [](int8_t v) { return static_cast<short>(v * 256); });
    const sf_count_t frames = static_cast<sf_count_t>(pcm.size()) / channels;
    const bool written = sf_writef_short(f, pcm.data(), frames) == frames;
    if (sf_close(f) != 0 || !written) Fail("cannot make a WAV file of the render");
    return std::move(file.bytes);
}

void WriteRender(const std::string& path, const Playback& p, bool stereo) {
    const Bytes wav = Pcm16Wav(p.samples, stereo ? 2 : 1);
    ReplaceOptions options;
    options.sync = false;  // a render is made again in a moment, as a dump is
    ReplaceFileBytes(path, wav, options);
}

Json RenderedJson(const Rendered& r) {
    Json j = RenderFiguresJson(*r.mode, r.figures);
    j.Set("file", r.path);
    j.Set("reverse_entry_in_step", r.reverseInStep);
    return j;
}

void PrintRendered(const Rendered& r) {
    const PlaybackFigures& f = r.figures;
    if (!f.playable) {
        std::printf("wrote %s: %s plays silence: the voice byte says compressed and the sample is not\n",
                    r.path.c_str(), r.mode->name);
        return;
    }
    std::printf("wrote %s: %s, %.3f s heard of %.3f s stored%s, peak %d of 128, %u values wrapped", r.path.c_str(),
                r.mode->name, f.secondsHeard, f.secondsStored, f.cut ? " (cut by the hold)" : "", f.peak, f.wrapped);
    if (r.mode->reverse && !r.reverseInStep) std::printf("; no reverse table: the cry's own sample backwards");
    if (r.reverseInStep && !*r.reverseInStep) std::printf("; its reverse entry points at another sample");
    std::printf("\n");
}

// Where each mode's WAV goes: the output file, or for every mode a file per
// mode in the output directory, named after the cry and the mode.
std::string RenderPath(const RenderArgs& args, const RomContext& ctx, const Target& t, const CryMode& m) {
    if (args.mode != AllModes) return args.out;
    const std::string stem = CryFileStem({t.id, t.index}, ctx.rule);
    return (std::filesystem::path(args.out) / (stem + "-" + m.name + ".wav")).string();
}

int RunRender(const RenderArgs& args) {
    if (args.reverb < 0 || args.reverb > MaxReverb)
        BadUsage("--reverb must lie between 0 and " + std::to_string(MaxReverb));
    RequireOneTarget(args.target);
    const RomContext ctx = OpenRom(args.rom, args.table, true);
    RequireDistinctFiles(args.rom, args.out);
    const Target target = ResolveTarget(ctx, args.target.id, args.target.index);
    const GameFamily family = FamilyOfCode(ctx.model.identity.code);
    const std::vector<const CryMode*> modes = ModesNamed(family, args.mode);
    if (!ReadEntry(ctx.image, ctx.model.table, target.index).pointsIntoRom)
        Fail("the entry of " + TargetName(target) + " does not point into the ROM");
    if (args.mode == AllModes) {
        std::error_code error;
        std::filesystem::create_directories(args.out, error);
        if (error) Fail("cannot create directory '" + args.out + "': " + error.message());
    }
    const PlaybackOptions options{args.reverb, args.stereo};
    std::vector<Rendered> rendered;
    for (const CryMode* m : modes) {
        Rendered r{m, std::nullopt, {}, RenderPath(args, ctx, target, *m)};
        const Playback p = RenderCry(EntryPlayed(ctx.image, ctx.model, target.index, *m, &r.reverseInStep), *m, options);
        WriteRender(r.path, p, args.stereo);
        r.figures = p.figures;
        rendered.push_back(r);
    }
    if (args.json) {
        Json list = Json::Array();
        for (const Rendered& r : rendered) list.Push(RenderedJson(r));
        PrintJson(Json::Object({{"rom", args.rom}, {"id", target.id}, {"index", target.index},
                                {"modes_of", FamilyName(family)}, {"rate", MixerRateHz}, {"reverb", args.reverb},
                                {"stereo", args.stereo}, {"renders", list}}));
    } else {
        for (const Rendered& r : rendered) PrintRendered(r);
    }
    return ExitOk;
}

void AddRenderOptions(CLI::App* cmd, RenderArgs& args) {
    cmd->footer("The games' sound engine as modelled from public descriptions of it: the mixer at 13379 Hz, "
                "the mode's hold, release and pitch, its chorus voice, the reverse table, the gain and pan, "
                "8-bit sums that wrap, and the echo. The chorus voice's tuning and how the level meets the pan "
                "are derived readings of the engine.");
    AddRomOptions(cmd, args.rom, args.json);
    cmd->add_option("ID", args.target.id, "Cry ID (1-411)");
    cmd->add_option("--index", args.target.index, "Table index (0-based) instead of an ID");
    cmd->add_option("-o,--output", args.out, "WAV file to write (a directory with --mode all)")->required();
    cmd->add_option("--mode", args.mode,
                    "How the game plays the cry: a mode's name (normal, doubles, encounter, high-pitch, echo-start, "
                    "faint, echo-end, roar-1, roar-2, growl-1, growl-2, weak, weak-doubles) or number, or all "
                    "(default: normal)");
    cmd->add_option("--reverb", args.reverb, "The engine's echo, 0 (none) to 127 (default: 50, as the games set it)");
    cmd->add_flag("--stereo", args.stereo, "Both sides, as the engine mixes them (default: mono, as the games play)");
    AddTableOptions(cmd, args.table);
}

}  // namespace

Command RenderCommand() {
    return MakeCommand(nullptr, "render", "Write what the game plays of one cry, in one mode or every mode",
                       AddRenderOptions, RunRender);
}
