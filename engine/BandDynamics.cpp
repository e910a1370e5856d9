#include "BandDynamics.h"

#include <algorithm>
#include <cmath>

#include "ParamUnits.h"
#include "PortableMath.h"

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

double BandState::TargetGain(const BandConstants& k, double x)
{
    double exponent, gain;
    return TargetExponent(k, x, exponent, gain) ? math::Exp(exponent) : gain;
}

double BandState::step(const BandConstants& k, const DetectorCoeffs& d, double l, double r, BandMeter& meter)
{
    meter.trackPeaks(l, r);
    return follow(k, TargetGain(k, math::Log(detect(d, l, r))), meter);
}

} // namespace qz
