// The WAV header: its bytes, and the chunk reader over the shapes real and
// broken files take.
#include "support.h"
#include "wavlib.h"

TEST(WavHeader, HoldsTheCanonicalFieldsByteForByte) {
    // 11050 = 0x2B2A, 10512 = 0x2910; the RIFF size is the data size + 36.
    Bytes ramp = CanonicalHeader(0x27, 0x10, 0x29, 0x03);
    ramp.insert(ramp.end(), {0x00, 0x80, 0xFF});
    EXPECT_EQ(WavFileBytes(Bytes{0x00, 0x80, 0xFF}, 10512), ramp);
    EXPECT_EQ(WavFileBytes({}, WavRate), CanonicalHeader(0x24, 0x2A, 0x2B, 0x00));
    uint8_t header[WavHeaderSize];
    FillWavHeader(header, 100, WavRate);
    EXPECT_EQ(Bytes(header, header + WavHeaderSize), CanonicalHeader(0x88, 0x2A, 0x2B, 0x64));
}

struct Shape {
    const char* name;
    Bytes bytes;
    WavStatus status;
    uint32_t dataOffset = 0;
    uint32_t dataSize = 0;
};

static std::vector<Shape> Shapes() {
    const Bytes fmt = Chunk("fmt ", FmtBody(1, 1, 11050, 8));
    const Bytes audio = Noise(9, 5);
    Bytes fmt18 = FmtBody(1, 1, 8000, 8);
    fmt18.resize(18, 0);  // with the cbSize field some writers add
    Bytes riff8 = Riff({fmt, Chunk("data", audio)});
    PutLe32(&riff8[4], 8);
    Bytes oversized = Riff({fmt, Chunk("data", audio, false)});
    PutLe32(&oversized[40], 0xFFFFFFF0);
    Bytes runaway = Riff({fmt, Chunk("junk", Bytes(4, 0)), Chunk("data", audio)});
    PutLe32(&runaway[40], 0xFFFFFFFF);
    Bytes truncatedFmt = Riff({Chunk("JUNK", Bytes(16, 0)), Chunk("fmt ", FmtBody(1, 1, 11050, 8))});
    truncatedFmt.resize(truncatedFmt.size() - 4);
    return {
        {"canonical", DumpedWav(audio), WavOk, 44, 9},
        {"canonical without data", DumpedWav({}), WavOk, 44, 0},
        {"any rate", MakeWav(audio, 22050), WavOk, 44, 9},
        {"chunks around the data", Riff({Chunk("LIST", Bytes(5, 'x')), fmt, Chunk("data", audio), Chunk("LIST", Bytes(7, 'y'))}), WavOk, 12 + 14 + 24 + 8, 9},
        {"fmt of 18 bytes", Riff({Chunk("fmt ", fmt18), Chunk("data", audio)}), WavOk, 12 + 26 + 8, 9},
        {"RIFF size 8", riff8, WavOk, 44, 9},
        {"data size beyond the file", oversized, WavOk, 44, 9},
        {"empty file", {}, WavShort},
        {"43 bytes", [&] { Bytes b = DumpedWav(audio); b.resize(43); return b; }(), WavShort},
        {"not RIFF", Bytes(60, 'R'), WavNotRiff},
        {"RIFX", [&] { Bytes b = DumpedWav(audio); b[3] = 'X'; return b; }(), WavNotRiff},
        {"fmt of size 0", Riff({Chunk("fmt ", {}), Chunk("data", audio), Chunk("pad!", Bytes(8, 0))}), WavNoFmt},
        {"fmt under 16", Riff({Chunk("fmt ", Bytes(14, 1)), Chunk("data", audio), Chunk("pad!", Bytes(8, 0))}), WavNoFmt},
        {"fmt cut by the end", truncatedFmt, WavNoFmt},
        {"data before fmt", Riff({Chunk("data", audio), fmt}), WavNoFmt},
        {"no data", Riff({fmt, Chunk("LIST", Bytes(20, 0))}), WavNoData},
        {"chunk size past the end", runaway, WavNoData},
        {"odd chunk without its pad", Riff({Chunk("LIST", Bytes(3, 'z'), false), fmt, Chunk("data", audio)}), WavNoFmt},
        {"0 channels", MakeWav(audio, 11050, 0, 8), WavUnsupported, 44, 9},
        {"stereo", MakeWav(audio, 11050, 2, 8), WavUnsupported, 44, 9},
        {"16-bit", MakeWav(audio, 11050, 1, 16), WavUnsupported, 44, 9},
        {"float", Riff({Chunk("fmt ", FmtBody(3, 1, 11050, 8)), Chunk("data", audio)}), WavUnsupported, 44, 9},
    };
}

TEST(ChunkReader, ClassifiesEachShapeTheSameFromMemoryAndFromAFile) {
    ScratchDir dir;
    for (const Shape& shape : Shapes()) {
        SCOPED_TRACE(shape.name);
        WavInfo mem{};
        const WavStatus status = ParseWavInfo(shape.bytes.data(), shape.bytes.size(), &mem);
        EXPECT_EQ(status, shape.status);
        if (status == WavOk || status == WavUnsupported) {
            EXPECT_EQ(mem.dataOffset, shape.dataOffset);
            EXPECT_EQ(mem.dataSize, shape.dataSize);
            EXPECT_LE(uint64_t{mem.dataOffset} + mem.dataSize, shape.bytes.size());
        }
        const std::string path = dir.File("shape.wav");
        ASSERT_TRUE(WriteFileBytes(path, shape.bytes));
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        WavInfo file{};
        EXPECT_EQ(ReadWavInfo(f, &file), status);
        std::fclose(f);
        if (status == WavOk) {
            EXPECT_EQ(file.dataOffset, mem.dataOffset);
            EXPECT_EQ(file.dataSize, mem.dataSize);
            EXPECT_EQ(file.rate, mem.rate);
        }
    }
}
