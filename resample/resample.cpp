#include "resample.h"

#include <cmath>
#include <cstdlib>

#include <soxr.h>

namespace {

// The page's libsoxr is built without its SIMD engines; this one would pick
// them where the processor has them, and their single-precision sums round
// differently, a value apart here and there once quantised. Both then use the
// plain engine and the same filter code, so that a sound converts to the same
// bytes on the command line and in the page. Set once, before any thread
// resamples: libsoxr reads it whenever it sets a conversion up.
bool UsePlainEngine() {
#ifdef _WIN32
    return _putenv_s("SOXR_USE_SIMD", "0") == 0;
#else
    return setenv("SOXR_USE_SIMD", "0", 1) == 0;
#endif
}

}  // namespace

Resampled Resample(std::span<const double> in, double fromRate, double toRate, ResampleQuality q) {
    static const bool plain = UsePlainEngine();
    (void)plain;
    // The integer rate a dumped WAV carries counts as the sample's own rate:
    // dump then encode must give back the same bytes.
    if (std::lround(fromRate) == std::lround(toRate) || in.empty()) return {{in.begin(), in.end()}, {}};
    size_t outLength = static_cast<size_t>(std::ceil(in.size() * toRate / fromRate)) + 1;
    std::vector<double> out(outLength);
    size_t done = 0;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    soxr_quality_spec_t quality = soxr_quality_spec(q == ResampleQuality::High ? SOXR_HQ : SOXR_QQ, 0);
    soxr_error_t error = soxr_oneshot(fromRate, toRate, 1, in.data(), in.size(), nullptr, out.data(), out.size(),
                                      &done, &io, &quality, nullptr);
    if (error) return {{}, error};
    out.resize(done);
    return {std::move(out), {}};
}
