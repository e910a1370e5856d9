#include "BandDynamics.h"

#include <algorithm>
#include <cmath>

#include "ParamUnits.h"
#include "PortableMath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qz {

double TimeCoefficient(double milliseconds, double sampleRate)
{
    if (milliseconds == 0.0 || sampleRate <= 0.0)
        return 0.0;
    return math::Pow10(-1000.0 / (milliseconds * sampleRate));  // 0.1^(1000 / (t fs))
}

BandConstants BandConstants::Compute(const ParamBlock& p, int b, double fs)
{
    BandConstants k{};
    k.cAtt = TimeCoefficient(units::AttackMs(p.Attack[b]), fs);
    k.cRel = TimeCoefficient(units::ReleaseMs(p.Release[b]), fs);
    k.cFast = p.TCR != 0 ? TimeCoefficient(units::ReleaseMs(p.Release[b]) / 10.0, fs) : k.cRel;
    k.cSlow = k.cRel;

    bool anySolo = false;
    for (int other = 0; other < kBandCount; ++other)
        anySolo = anySolo || p.Solo[other] != 0;
    k.makeup = anySolo && p.Solo[b] == 0 ? 0.0 : units::MakeupFactor(p.Gain[b]);
    k.bypass = p.Bypass[b] != 0;
    k.vintage = p.Type[b] != 0;

    const double r = units::RatioValue(p.Ratio[b]);
    const double threshold = units::ThresholdLinear(p.Threshold[b]);
    const double knee = units::KneeFactor(p.Knee[b]);
    k.slope = 1.0 / r - 1.0;
    k.lnThr = math::Log(threshold);
    k.kneeLo = math::Log(threshold * knee);
    k.kneeHi = math::Log(threshold / knee);
    // A hard knee leaves the knee region empty; its scale is then never used.
    k.kneeScale = k.kneeHi > k.kneeLo ? 0.5 / (k.kneeHi - k.kneeLo) : 0.0;
    // Log(env) lies within 1 ulp of ln(env), about 1e-14 for the envelopes the detector
    // makes (at least 1e-30), and kneeLo as near ln(threshold knee): an envelope 2^-30
    // below the knee start has a level 9e-10 below kneeLo, beyond both errors.
    k.unityBelow = threshold * knee * (1.0 - 0x1p-30);

    if (k.vintage) {
        const double u = k.lnThr + 1.25 * math::Pow(r, 0.25);
        k.gTop = math::Exp((u - k.lnThr) * k.slope);
        k.kneeHi = math::Log(math::Exp(u) / knee);
        k.invSpan = 1.0 / (k.kneeHi - k.kneeLo);
        k.lnTop = math::Log(k.gTop);
        k.blend = std::min(k.lnThr - k.kneeLo, 1.0);
    }
    return k;
}

namespace {

// The exponent of the target gain for the level x: 0 below the knee (unity gain), and
// 0 where the Vintage curve reaches its bound (FinishTargets puts gTop there).
double TargetExponent(const BandConstants& k, double x)
{
    if (x < k.kneeLo)
        return 0.0;
    if (!k.vintage) {
        if (x < k.kneeHi) {
            const double over = x - k.kneeLo;
            return k.slope * over * over * k.kneeScale;
        }
        return (x - k.lnThr) * k.slope;
    }
    if (x < k.kneeHi) {
        // A blend of a straight line and a smoothstep in the log domain, from 0 at the
        // knee start to lnTop at its end.
        const double u = (x - k.kneeLo) * k.invSpan;
        return k.lnTop * (u + (u * u * (3.0 - 2.0 * u) - u) * k.blend);
    }
    return 0.0;
}

// Whether the level x lies at the Vintage curve's bound (not below its knee's end;
// a NaN level counts as there).
bool AtTheBound(const BandConstants& k, double x) { return k.vintage && !(x < k.kneeLo) && !(x < k.kneeHi); }

#if defined(__SSE2__)
__m128d Splat(double v) { return _mm_set1_pd(v); }

// TargetExponent of two levels, lane by lane: both curve pieces are computed and the
// one that applies is kept.
__m128d TargetExponentPair(const BandConstants& k, __m128d x)
{
    const __m128d below = _mm_cmplt_pd(x, Splat(k.kneeLo));
    const __m128d inKnee = _mm_cmplt_pd(x, Splat(k.kneeHi));
    __m128d exponent;
    if (!k.vintage) {
        const __m128d over = _mm_sub_pd(x, Splat(k.kneeLo));
        const __m128d knee = _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(Splat(k.slope), over), over), Splat(k.kneeScale));
        const __m128d above = _mm_mul_pd(_mm_sub_pd(x, Splat(k.lnThr)), Splat(k.slope));
        exponent = _mm_or_pd(_mm_and_pd(inKnee, knee), _mm_andnot_pd(inKnee, above));
    } else {
        const __m128d u = _mm_mul_pd(_mm_sub_pd(x, Splat(k.kneeLo)), Splat(k.invSpan));
        const __m128d smooth = _mm_mul_pd(_mm_mul_pd(u, u), _mm_sub_pd(Splat(3.0), _mm_mul_pd(Splat(2.0), u)));
        const __m128d curve = _mm_mul_pd(
            Splat(k.lnTop), _mm_add_pd(u, _mm_mul_pd(_mm_sub_pd(smooth, u), Splat(k.blend))));
        exponent = _mm_and_pd(inKnee, curve);
    }
    return _mm_andnot_pd(below, exponent);
}
#endif

// TargetGain in two steps around the exponentials, for n levels at once, so that
// those of many frames can be taken together: TargetExponents writes an exponent per
// level, whose Exp is the target gain except where the curve's gain is no
// exponential; once they have gone through Exp, FinishTargets puts those in place.
void TargetExponents(const BandConstants& k, const double* x, double* exponent, int n)
{
    int i = 0;
#if defined(__SSE2__)
    for (; i + 2 <= n; i += 2)
        _mm_storeu_pd(exponent + i, TargetExponentPair(k, _mm_loadu_pd(x + i)));
#endif
    for (; i < n; ++i)
        exponent[i] = TargetExponent(k, x[i]);
}

void FinishTargets(const BandConstants& k, const double* x, double* target, int n)
{
    if (!k.vintage)
        return;
    int i = 0;
#if defined(__SSE2__)
    const __m128d top = Splat(k.gTop);
    for (; i + 2 <= n; i += 2) {
        const __m128d v = _mm_loadu_pd(x + i);
        const __m128d notAtTheBound = _mm_or_pd(_mm_cmplt_pd(v, Splat(k.kneeLo)), _mm_cmplt_pd(v, Splat(k.kneeHi)));
        _mm_storeu_pd(target + i, _mm_or_pd(_mm_and_pd(notAtTheBound, _mm_loadu_pd(target + i)),
                                            _mm_andnot_pd(notAtTheBound, top)));
    }
#endif
    for (; i < n; ++i)
        if (AtTheBound(k, x[i]))
            target[i] = k.gTop;
}

} // namespace

double BandState::TargetGain(const BandConstants& k, double x)
{
    double target = math::Exp(TargetExponent(k, x));
    FinishTargets(k, &x, &target, 1);
    return target;
}

void BandState::TargetGains(const BandConstants& k, double* env, double* target, int n)
{
    // A run that stays below the knee start has unity targets (Exp(0) = 1 exactly):
    // no Log or Exp is needed to know it.
    int below = 0;
    while (below < n && env[below] < k.unityBelow)
        ++below;
    if (below == n) {
        std::fill(target, target + n, 1.0);
        return;
    }
    math::LogLanes(env, env, n);
    TargetExponents(k, env, target, n);
    math::ExpLanes(target, target, n);
    FinishTargets(k, env, target, n);
}

GainFollower FollowerOf(const BandConstants& k, const BandState& state, const BandMeter& meter)
{
    const double bypassGain = k.makeup == 0.0 ? 0.0 : 1.0;
    return {k.cAtt,    k.cSlow,  k.cRel,    k.cFast - k.cRel, k.makeup, bypassGain, k.vintage,
            k.bypass,  k.vintage, k.bypass, state.g,          state.gs, state.cDyn, meter.gain};
}

FiveBandFollowers::FiveBandFollowers(const BandConstants (&k)[kBandCount], const BandState (&state)[kBandCount],
                                     const MeterRecord& meters)
{
    using lanes::MaskOf;
    using lanes::Pair;
    for (int p = 0; p < 3; ++p) {
        const int a = 2 * p, b = std::min(2 * p + 1, kBandCount - 1);
        const GainFollower x = FollowerOf(k[a], state[a], meters.band[a]);
        const GainFollower y = FollowerOf(k[b], state[b], meters.band[b]);
        pair[p] = {Pair(x.cAtt, y.cAtt),
                   Pair(x.cSlow, y.cSlow),
                   Pair(x.cRel, y.cRel),
                   Pair(x.releaseSpan, y.releaseSpan),
                   Pair(x.makeup, y.makeup),
                   Pair(x.bypassGain, y.bypassGain),
                   MaskOf(x.vintage, y.vintage),
                   MaskOf(x.bypass, y.bypass),
                   x.vintage || y.vintage,
                   x.bypass || y.bypass,
                   Pair(x.g, y.g),
                   Pair(x.gs, y.gs),
                   Pair(x.cDyn, y.cDyn),
                   Pair(x.meterGain, y.meterGain)};
    }
}

void FiveBandFollowers::store(BandState (&state)[kBandCount], MeterRecord& meters) const
{
    double g[6], gs[6], cDyn[6], meterGain[6];
    for (int p = 0; p < 3; ++p) {
        pair[p].g.store(g + 2 * p);
        pair[p].gs.store(gs + 2 * p);
        pair[p].cDyn.store(cDyn + 2 * p);
        pair[p].meterGain.store(meterGain + 2 * p);
    }
    for (int b = 0; b < kBandCount; ++b) {
        state[b].g = g[b];
        state[b].gs = gs[b];
        state[b].cDyn = cDyn[b];
        meters.band[b].gain = meterGain[b];
    }
}

double BandState::step(const BandConstants& k, const DetectorCoeffs& d, double l, double r, BandMeter& meter)
{
    meter.trackPeaks(l, r);
    return follow(k, TargetGain(k, math::Log(detect(d, l, r))), meter);
}

} // namespace qz
