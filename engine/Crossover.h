#pragma once
// The five-band crossover. Each crossover point pairs a first-order allpass A1 with a
// second-order allpass A2 at the same frequency: low = (A1 + A2) / 2, high = (A1 - A2) / 2,
// so low + high = A1, a pure allpass. The split cascades from the highest point down and
// the bands that skip a lower point pass through its A1, so the five bands always add
// back up to the input through A1[1] A1[2] A1[3] A1[4]: flat magnitude, whatever the
// frequencies (in any order) and the Q.

#include "ParamBlock.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qz {

// Coefficients of one crossover point.
struct CrossoverCoeffs {
    double c0;  // first-order allpass: H(z) = (c0 + z^-1) / (1 + c0 z^-1)
    double c1;  // second-order allpass a2: H(z) = (c1 + c2 z^-1 + z^-2) / (1 + c2 z^-1 + c1 z^-2)
    double c2;  // second-order allpass a1
};

// f in hertz (raised to 20 Hz and lowered to fs/2 - 1 first), q the allpass quality
// (1.0: third-order Butterworth low/high pair), fs the sample rate in hertz.
CrossoverCoeffs ComputeCrossoverCoeffs(double frequencyHz, double q, double sampleRate);

// The filters below are written once for any sample type V with + - * and a
// constructor from double: a double for one channel, or a StereoPair carrying the left
// and the right channel in the two lanes of one SSE2 register. Every lane goes
// through the same operations in the same order, so a pair computes bit for bit what
// two doubles would.

// A first-order allpass section with its own state: y = c0 (x - y[n-1]) + x[n-1].
template <typename V>
struct AllpassSectionOf {
    V x1 = V(0.0);
    V y1 = V(0.0);

    V step(double c0, V x)
    {
        V y = V(c0) * (x - y1) + x1;
        x1 = x;
        y1 = y;
        return y;
    }
};

// One crossover point of one channel: both allpasses read the same input history.
template <typename V>
struct CrossoverStageOf {
    V x1 = V(0.0), x2 = V(0.0);  // inputs x[n-1], x[n-2]
    V a1 = V(0.0);               // first-order output y1[n-1]
    V b1 = V(0.0), b2 = V(0.0);  // second-order outputs y2[n-1], y2[n-2]

    // First-order output in a, second-order output in b.
    void step(const CrossoverCoeffs& k, V x, V& a, V& b)
    {
        a = V(k.c0) * (x - a1) + x1;
        b = V(k.c1) * (x - b2) + V(k.c2) * (x1 - b1) + x2;
        x2 = x1;
        x1 = x;
        a1 = a;
        b2 = b1;
        b1 = b;
    }
};

// The split of one channel (or pair) into five bands, lowest first, each at unity scale.
template <typename V>
struct BandSplitterOf {
    CrossoverStageOf<V> stage[kCrossoverCount];  // crossover 1 first
    // Phase compensation: band 3 through A1[1]; band 4 through A1[2], A1[1];
    // band 5 through A1[3], A1[2], A1[1].
    AllpassSectionOf<V> compensation[6];

    void reset() { *this = BandSplitterOf{}; }

    void split(const CrossoverCoeffs (&k)[kCrossoverCount], V x, V (&band)[kBandCount])
    {
        V a, b;
        // The halving at each stage input carries the 1/2 of the low output downward.
        stage[3].step(k[3], x * V(0.5), a, b);
        const V band5 = a - b;
        stage[2].step(k[2], (a + b) * V(0.5), a, b);
        const V band4 = a - b;
        stage[1].step(k[1], (a + b) * V(0.5), a, b);
        const V band3 = a - b;
        stage[0].step(k[0], (a + b) * V(0.5), a, b);
        band[0] = a + b;
        band[1] = a - b;
        band[2] = compensation[0].step(k[0].c0, band3);
        band[3] = compensation[2].step(k[0].c0, compensation[1].step(k[1].c0, band4));
        band[4] = compensation[5].step(
            k[0].c0, compensation[4].step(k[1].c0, compensation[3].step(k[2].c0, band5)));
    }
};

using AllpassSection = AllpassSectionOf<double>;
using CrossoverStage = CrossoverStageOf<double>;
using BandSplitter = BandSplitterOf<double>;

// The left and the right channel side by side. The lanes are kept as plain doubles
// (no alignment beyond a double's is asked of the objects that hold them) and go
// through SSE2 two at a time where the build has it.
struct StereoPair {
    double lane[2];  // left, right

    StereoPair() = default;
    explicit StereoPair(double both) : lane{both, both} {}
    StereoPair(double left, double right) : lane{left, right} {}

#if defined(__SSE2__)
    explicit StereoPair(__m128d v) { _mm_storeu_pd(lane, v); }
    __m128d get() const { return _mm_loadu_pd(lane); }
    friend StereoPair operator+(StereoPair a, StereoPair b) { return StereoPair(_mm_add_pd(a.get(), b.get())); }
    friend StereoPair operator-(StereoPair a, StereoPair b) { return StereoPair(_mm_sub_pd(a.get(), b.get())); }
    friend StereoPair operator*(StereoPair a, StereoPair b) { return StereoPair(_mm_mul_pd(a.get(), b.get())); }
#else
    friend StereoPair operator+(StereoPair a, StereoPair b) { return {a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}; }
    friend StereoPair operator-(StereoPair a, StereoPair b) { return {a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}; }
    friend StereoPair operator*(StereoPair a, StereoPair b) { return {a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}; }
#endif
};

using StereoSplitter = BandSplitterOf<StereoPair>;

} // namespace qz
