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
    if (x < k.kneeLo)
        return 1.0;
    if (!k.vintage) {
        if (x < k.kneeHi) {
            const double over = x - k.kneeLo;
            return math::Exp(k.slope * over * over * k.kneeScale);
        }
        return math::Exp((x - k.lnThr) * k.slope);
    }
    if (x < k.kneeHi) {
        // A blend of a straight line and a smoothstep in the log domain, from 0 at the
        // knee start to lnTop at its end.
        const double u = (x - k.kneeLo) * k.invSpan;
        return math::Exp(k.lnTop * (u + (u * u * (3.0 - 2.0 * u) - u) * k.blend));
    }
    return k.gTop;
}

double BandState::step(const BandConstants& k, const DetectorCoeffs& d, double l, double r, BandMeter& meter)
{
    const double absL = std::fabs(l), absR = std::fabs(r);
    meter.left = std::max(meter.left, absL);
    meter.right = std::max(meter.right, absR);

    const double level = std::max(absL, absR) + static_cast<double>(1e-30f);
    env = level + (env - level) * (level > env ? d.cUp : d.cDown);

    const double target = TargetGain(k, math::Log(env));
    g = target + (g - target) * (target <= g ? k.cAtt : cDyn);

    gs = g + (gs - g) * k.cSlow;
    if (gs < g)
        gs = g;

    // How far the release speeds up for the next frame, 0 (cRel) .. 1 (cFast): Normal
    // bands by how far the gain lies below its slow follower, Vintage bands by the depth
    // of the reduction below -3 dB. Limited to 0 .. 1 so the release never runs slower
    // than set or overshoots its target (an expanding band's follower can lie far above).
    double e = k.vintage ? (0.707 - g) * 1.414 : gs - g;
    e = std::min(std::max(e, 0.0), 1.0);
    cDyn = k.cRel + e * (k.cFast - k.cRel);

    if (k.bypass) {
        meter.gain = 1.0;
        return k.makeup == 0.0 ? 0.0 : 1.0;
    }
    meter.gain = g <= 1.0 ? std::min(meter.gain, g) : std::max(meter.gain, g);
    return g * k.makeup;
}

} // namespace qz
