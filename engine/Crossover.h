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

    V step(V c0, V x)
    {
        V y = c0 * (x - y1) + x1;
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
    template <typename Coeffs>
    void step(const Coeffs& k, V x, V& a, V& b)
    {
        a = k.c0 * (x - a1) + x1;
        b = k.c1 * (x - b2) + k.c2 * (x1 - b1) + x2;
        x2 = x1;
        x1 = x;
        a1 = a;
        b2 = b1;
        b1 = b;
    }
};

// A crossover point's coefficients as V.
template <typename V>
struct CrossoverCoeffsOf {
    V c0, c1, c2;
    static CrossoverCoeffsOf Of(const CrossoverCoeffs& k) { return {V(k.c0), V(k.c1), V(k.c2)}; }
};

// The split of one channel (or pair) into five bands, lowest first, each at unity scale.
template <typename V>
struct BandSplitterOf {
    CrossoverStageOf<V> stage[kCrossoverCount];  // crossover 1 first
    // Phase compensation: band 3 through A1[1]; band 4 through A1[2], A1[1];
    // band 5 through A1[3], A1[2], A1[1].
    AllpassSectionOf<V> compensation[6];

    void reset() { *this = BandSplitterOf{}; }

    // n inputs in a row, x[i] into band[i]. The run works on local copies of the state
    // and of the coefficients (as V), which the compiler can keep in registers from one
    // input to the next: nothing the run writes through a pointer can change them.
    void split(const CrossoverCoeffs (&k)[kCrossoverCount], const V* x, V (*band)[kBandCount], int n)
    {
        using Coeffs = CrossoverCoeffsOf<V>;
        const Coeffs k0 = Coeffs::Of(k[0]), k1 = Coeffs::Of(k[1]), k2 = Coeffs::Of(k[2]), k3 = Coeffs::Of(k[3]);
        CrossoverStageOf<V> s0 = stage[0], s1 = stage[1], s2 = stage[2], s3 = stage[3];
        AllpassSectionOf<V> p0 = compensation[0], p1 = compensation[1], p2 = compensation[2],
                            p3 = compensation[3], p4 = compensation[4], p5 = compensation[5];
        const V half(0.5);
        for (int i = 0; i < n; ++i) {
            V a, b;
            // The halving at each stage input carries the 1/2 of the low output downward.
            s3.step(k3, x[i] * half, a, b);
            const V band5 = a - b;
            s2.step(k2, (a + b) * half, a, b);
            const V band4 = a - b;
            s1.step(k1, (a + b) * half, a, b);
            const V band3 = a - b;
            s0.step(k0, (a + b) * half, a, b);
            band[i][0] = a + b;
            band[i][1] = a - b;
            band[i][2] = p0.step(k0.c0, band3);
            band[i][3] = p2.step(k0.c0, p1.step(k1.c0, band4));
            band[i][4] = p5.step(k0.c0, p4.step(k1.c0, p3.step(k2.c0, band5)));
        }
        stage[0] = s0, stage[1] = s1, stage[2] = s2, stage[3] = s3;
        compensation[0] = p0, compensation[1] = p1, compensation[2] = p2;
        compensation[3] = p3, compensation[4] = p4, compensation[5] = p5;
    }

    void split(const CrossoverCoeffs (&k)[kCrossoverCount], V x, V (&band)[kBandCount])
    {
        split(k, &x, &band, 1);
    }

};

// One channel's run instead takes pairs of its filters through the SSE2 lanes, each a
// few frames behind the other (Crossover.cpp).
template <>
void BandSplitterOf<double>::split(const CrossoverCoeffs (&k)[kCrossoverCount], const double* x,
                                   double (*band)[kBandCount], int n);

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
