// brevox-web-images: the inputs of the browser page's test, written into DIR:
//   game.gba     a games' layout image (GameRomPlan) with its FF tail
//   full.gba     the same with no free tail left
//   short.wav    8-bit mono at 10512 Hz, a block shorter than cry 5's sample: fits in place
//   long.wav     8-bit mono at 10512 Hz, far longer than any slot
//   long.sample  long.wav as the optimal coder compresses it
//   long-decoded.wav  what that sample decodes to, as a dump writes it
//   wide.wav     16-bit stereo at 22050 Hz, for the browser's own conversion
//   phase.wav    16-bit stereo at 10512 Hz, a tone on the left and its negation on
//                the right: a mix of the two is silence
#include <cmath>
#include <cstdio>
#include <string>

#include "crylib.h"
#include "image.h"
#include "testdata.h"
#include "wavlib.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: brevox-web-images DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const uint32_t rate = GameRateField / 1024;
    RomPlan plan = GameRomPlan();
    Bytes game = MakeRom(plan);
    Bytes full = game;
    for (uint32_t i = FreeTailOffset(full); i < full.size(); ++i) full[i] = 0x5A;

    Bytes shortSound = Sweep(uint32_t(plan.cries[CryNumberIndex(5)].size()) - BlockSamples, 300, 2500, rate);
    Bytes longSound = DecayingChirp(4000, 2500, 200, 2, rate);
    Bytes sample(SampleExtent(uint32_t(longSound.size())));
    EncodeSample(longSound, sample, EncodeMode::Best);
    SampleInfo info = InspectSample(sample, 0);
    Bytes wide = MakeWav(Noise(4 * 3000, 7), 22050, 2, 16);
    Bytes opposed(4 * 4000);
    for (uint32_t i = 0; i < 4000; ++i) {
        const auto left = static_cast<int16_t>(std::lround(12000 * std::sin(2 * 3.14159265358979 * 440 * i / rate)));
        PutLe16(&opposed[4 * i], uint16_t(left));
        PutLe16(&opposed[4 * i + 2], uint16_t(-left));
    }

    const struct {
        const char* name;
        const Bytes& bytes;
    } files[] = {{"game.gba", game},
                 {"full.gba", full},
                 {"short.wav", MakeWav(shortSound, rate)},
                 {"long.wav", MakeWav(longSound, rate)},
                 {"long.sample", sample},
                 {"long-decoded.wav", WavFileBytes(DecodeToUnsigned(sample, info), rate)},
                 {"wide.wav", wide},
                 {"phase.wav", MakeWav(opposed, rate, 2, 16)}};
    for (const auto& f : files) {
        if (!WriteFileBytes(dir + "/" + f.name, f.bytes)) {
            std::fprintf(stderr, "brevox-web-images: cannot write %s/%s\n", dir.c_str(), f.name);
            return 1;
        }
    }
    return 0;
}
