#include "Crossover.h"

#include <algorithm>

#include "Lanes.h"
#include "PortableMath.h"

namespace qz {

CrossoverCoeffs ComputeCrossoverCoeffs(double frequencyHz, double q, double sampleRate)
{
    const double pi = 3.14159265;
    double f = std::max(frequencyHz, 20.0);
    f = std::min(f, sampleRate / 2.0 - 1.0);
    const double theta = f * pi / sampleRate;
    const double alpha = math::Sin(2.0 * theta) / (2.0 * q);
    const double t = math::Tan(theta);
    CrossoverCoeffs k;
    k.c0 = -(1.0 - t) / (1.0 + t);
    k.c1 = (1.0 - alpha) / (1.0 + alpha);
    k.c2 = -2.0 * math::Cos(2.0 * theta) / (1.0 + alpha);
    return k;
}

namespace {

using lanes::Mask;
using lanes::Pair;

// Two filters of one channel in the two lanes of a pair, from their states and back.
CrossoverStageOf<Pair> Paired(const CrossoverStage& a, const CrossoverStage& b)
{
    return {Pair(a.x1, b.x1), Pair(a.x2, b.x2), Pair(a.a1, b.a1), Pair(a.b1, b.b1), Pair(a.b2, b.b2)};
}
AllpassSectionOf<Pair> Paired(const AllpassSection& a, const AllpassSection& b)
{
    return {Pair(a.x1, b.x1), Pair(a.y1, b.y1)};
}
void Unpair(const CrossoverStageOf<Pair>& p, CrossoverStage& a, CrossoverStage& b)
{
    a = {p.x1.first(), p.x2.first(), p.a1.first(), p.b1.first(), p.b2.first()};
    b = {p.x1.second(), p.x2.second(), p.a1.second(), p.b1.second(), p.b2.second()};
}
void Unpair(const AllpassSectionOf<Pair>& p, AllpassSection& a, AllpassSection& b)
{
    a = {p.x1.first(), p.y1.first()};
    b = {p.x1.second(), p.y1.second()};
}

// Keeps the state from before a step in the lanes that had no frame to work on.
void KeepWhereIdle(Mask working, CrossoverStageOf<Pair>& s, const CrossoverStageOf<Pair>& before)
{
    s = {Select(working, s.x1, before.x1), Select(working, s.x2, before.x2), Select(working, s.a1, before.a1),
         Select(working, s.b1, before.b1), Select(working, s.b2, before.b2)};
}
void KeepWhereIdle(Mask working, AllpassSectionOf<Pair>& s, const AllpassSectionOf<Pair>& before)
{
    s = {Select(working, s.x1, before.x1), Select(working, s.y1, before.y1)};
}

// The lanes of a pair whose frames i - lag lie in 0 .. n - 1.
Mask Working(int i, int n, int lagFirst, int lagSecond)
{
    return lanes::MaskOf(i - lagFirst >= 0 && i - lagFirst < n, i - lagSecond >= 0 && i - lagSecond < n);
}

} // namespace

// The cascade of one frame is a chain: each crossover point needs the one above it, the
// phase compensation the outputs of the points. Run as a pipeline, step i of the loop
// takes each filter to a frame of its own, so that two filters always have a frame to
// work on side by side:
//     pair A: point 4 at frame i,          point 3 at frame i - 1
//     pair B: point 2 at frame i - 2,      point 1 at frame i - 3
//     pair C: compensation 3 at i - 1,     compensation 1 at i - 2
//     pair D: compensation 4 at i - 2,     compensation 2 at i - 3
//     pair E: compensation 5 at i - 3,     compensation 0 at i - 3
// (compensation j is the section compensation[j]). Each pair's inputs come from the
// step before, so frame i - 3 is complete after step i. The first three and the last
// three steps have lanes without a frame; those keep their state.
template <>
void BandSplitterOf<double>::split(const CrossoverCoeffs (&k)[kCrossoverCount], const double* x,
                                   double (*band)[kBandCount], int n)
{
    using Coeffs2 = CrossoverCoeffsOf<Pair>;
    const Coeffs2 kA{Pair(k[3].c0, k[2].c0), Pair(k[3].c1, k[2].c1), Pair(k[3].c2, k[2].c2)};
    const Coeffs2 kB{Pair(k[1].c0, k[0].c0), Pair(k[1].c1, k[0].c1), Pair(k[1].c2, k[0].c2)};
    const Pair kC(k[2].c0, k[1].c0), kD(k[1].c0, k[0].c0), kE(k[0].c0);
    CrossoverStageOf<Pair> a = Paired(stage[3], stage[2]), b = Paired(stage[1], stage[0]);
    AllpassSectionOf<Pair> c = Paired(compensation[3], compensation[1]);
    AllpassSectionOf<Pair> d = Paired(compensation[4], compensation[2]);
    AllpassSectionOf<Pair> e = Paired(compensation[5], compensation[0]);

    const Pair half(0.5);
    // What the step before handed on: A's halved low outputs (the inputs of points 3
    // and 2), A's high outputs (bands 5 and 4), B's sums and differences, C's and D's
    // outputs.
    Pair lowA(0.0), highA(0.0), sumB(0.0), diffB(0.0), outC(0.0), outD(0.0);
    for (int i = 0; i < n + 3; ++i) {
        const double in = i < n ? x[i] * 0.5 : 0.0;
        const Pair inA = lanes::Firsts(Pair(in), lowA);
        const Pair inB = lanes::SecondFirst(lowA, sumB * half);
        const Pair inE = lanes::Firsts(outD, diffB);
        const Pair inC = highA, inD = outC;

        const CrossoverStageOf<Pair> a0 = a, b0 = b;
        const AllpassSectionOf<Pair> c0 = c, d0 = d, e0 = e;
        Pair lo, hi;
        a.step(kA, inA, lo, hi);
        lowA = (lo + hi) * half;
        highA = lo - hi;
        b.step(kB, inB, lo, hi);
        sumB = lo + hi;
        diffB = lo - hi;
        outC = c.step(kC, inC);
        outD = d.step(kD, inD);
        const Pair outE = e.step(kE, inE);
        if (i < 3 || i >= n) {
            KeepWhereIdle(Working(i, n, 0, 1), a, a0);
            KeepWhereIdle(Working(i, n, 2, 3), b, b0);
            KeepWhereIdle(Working(i, n, 1, 2), c, c0);
            KeepWhereIdle(Working(i, n, 2, 3), d, d0);
            KeepWhereIdle(Working(i, n, 3, 3), e, e0);
            if (i < 3)
                continue;
        }
        double (&out)[kBandCount] = band[i - 3];
        out[0] = sumB.second();
        out[1] = diffB.second();
        out[2] = outE.second();
        out[3] = outD.second();
        out[4] = outE.first();
    }
    Unpair(a, stage[3], stage[2]);
    Unpair(b, stage[1], stage[0]);
    Unpair(c, compensation[3], compensation[1]);
    Unpair(d, compensation[4], compensation[2]);
    Unpair(e, compensation[5], compensation[0]);
}

} // namespace qz
