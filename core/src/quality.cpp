#include "quality.h"
#include "samplekind.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double GoodSnrDb = 30;
constexpr double PoorSnrDb = 10;
constexpr int GoodPeakError = 64;  // steps of the 8-bit scale

int Signed(uint8_t wavSample) { return int(wavSample) - 0x80; }

uint64_t Energy(std::span<const uint8_t> wav) {
    uint64_t signal = 0;
    for (uint8_t s : wav) signal += uint64_t(Signed(s) * Signed(s));
    return signal;
}

double SnrDb(uint64_t signal, uint64_t squaredError) {
    return squaredError == 0 ? std::numeric_limits<double>::infinity()
                             : 10 * std::log10(double(signal) / double(squaredError));
}

struct BlockErrors {
    uint64_t squared = 0;
    int peak = 0;
};

// Codes one block of at most 64 WAV samples and measures its decoded values.
BlockErrors MeasureBlock(std::span<const uint8_t> wav, EncodeMode mode) {
    uint8_t coded[BlockSize];
    uint8_t played[BlockSamples];
    EncodeWavBlock(wav, mode, coded);
    DecodeWavBlock(coded, played);
    BlockErrors e;
    for (size_t i = 0; i < wav.size(); ++i) {
        const int d = Signed(played[i]) - Signed(wav[i]);
        e.squared += uint64_t(d * d);
        e.peak = std::max(e.peak, std::abs(d));
    }
    return e;
}

}  // namespace

EncodeQuality MeasureEncoding(std::span<const uint8_t> wav, EncodeMode mode) {
    const EncodeMode other = mode == EncodeMode::Best ? EncodeMode::Fast : EncodeMode::Best;
    EncodeQuality q{};
    for (size_t first = 0; first < wav.size(); first += BlockSamples) {
        const auto block = wav.subspan(first, std::min<size_t>(BlockSamples, wav.size() - first));
        const BlockErrors mine = MeasureBlock(block, mode);
        q.squaredError += mine.squared;
        q.peakError = std::max(q.peakError, mine.peak);
        q.blocks++;
        if (mine.squared > MeasureBlock(block, other).squared) q.worstBlocks++;
    }
    q.snrDb = SnrDb(Energy(wav), q.squaredError);
    return q;
}

EncodeQuality MeasureSample(std::span<const uint8_t> wav, std::span<const uint8_t> sample) {
    std::vector<uint8_t> played = DecodeValues(sample, 0).value;
    played.resize(wav.size());
    EncodeQuality q{};
    for (size_t i = 0; i < wav.size(); ++i) {
        const int d = Signed(played[i]) - Signed(wav[i]);
        q.squaredError += uint64_t(d * d);
        q.peakError = std::max(q.peakError, std::abs(d));
    }
    q.blocks = static_cast<uint32_t>((wav.size() + BlockSamples - 1) / BlockSamples);
    q.snrDb = SnrDb(Energy(wav), q.squaredError);
    return q;
}

QualityGrade GradeOf(const EncodeQuality& q) {
    if (q.squaredError == 0) return QualityGrade::Exact;
    if (q.snrDb < PoorSnrDb) return QualityGrade::Poor;
    if (q.snrDb < GoodSnrDb || q.peakError > GoodPeakError) return QualityGrade::Fair;
    return QualityGrade::Good;
}

const char* GradeName(QualityGrade grade) {
    switch (grade) {
        case QualityGrade::Exact: return "Exact";
        case QualityGrade::Good: return "Good";
        case QualityGrade::Fair: return "Fair";
        case QualityGrade::Poor: return "Poor";
    }
    return "Unknown";
}
