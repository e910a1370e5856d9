#pragma once
// The five-band crossover. Each crossover point pairs a first-order allpass A1 with a
// second-order allpass A2 at the same frequency: low = (A1 + A2) / 2, high = (A1 - A2) / 2,
// so low + high = A1, a pure allpass. The split cascades from the highest point down and
// the bands that skip a lower point pass through its A1, so the five bands always add
// back up to the input through A1[1] A1[2] A1[3] A1[4]: flat magnitude, whatever the
// frequencies (in any order) and the Q.

#include "ParamBlock.h"

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

// A first-order allpass section with its own state: y = c0 (x - y[n-1]) + x[n-1].
struct AllpassSection {
    double x1 = 0.0;
    double y1 = 0.0;

    double step(double c0, double x)
    {
        double y = c0 * (x - y1) + x1;
        x1 = x;
        y1 = y;
        return y;
    }
};

// One crossover point of one channel: both allpasses read the same input history.
struct CrossoverStage {
    double x1 = 0.0, x2 = 0.0;  // inputs x[n-1], x[n-2]
    double a1 = 0.0;            // first-order output y1[n-1]
    double b1 = 0.0, b2 = 0.0;  // second-order outputs y2[n-1], y2[n-2]

    // First-order output in a, second-order output in b.
    void step(const CrossoverCoeffs& k, double x, double& a, double& b)
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

// The split of one channel into five bands, lowest first, each at unity scale.
struct BandSplitter {
    CrossoverStage stage[kCrossoverCount];  // crossover 1 first
    // Phase compensation: band 3 through A1[1]; band 4 through A1[2], A1[1];
    // band 5 through A1[3], A1[2], A1[1].
    AllpassSection compensation[6];

    void reset() { *this = BandSplitter{}; }

    void split(const CrossoverCoeffs (&k)[kCrossoverCount], double x, double (&band)[kBandCount])
    {
        double a, b;
        // The halving at each stage input carries the 1/2 of the low output downward.
        stage[3].step(k[3], x * 0.5, a, b);
        const double band5 = a - b;
        stage[2].step(k[2], (a + b) * 0.5, a, b);
        const double band4 = a - b;
        stage[1].step(k[1], (a + b) * 0.5, a, b);
        const double band3 = a - b;
        stage[0].step(k[0], (a + b) * 0.5, a, b);
        band[0] = a + b;
        band[1] = a - b;
        band[2] = compensation[0].step(k[0].c0, band3);
        band[3] = compensation[2].step(k[0].c0, compensation[1].step(k[1].c0, band4));
        band[4] = compensation[5].step(
            k[0].c0, compensation[4].step(k[1].c0, compensation[3].step(k[2].c0, band5)));
    }
};

} // namespace qz
