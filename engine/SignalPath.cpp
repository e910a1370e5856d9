#include "SignalPath.h"

#include <algorithm>
#include <cmath>

#include "ParamUnits.h"

namespace qz {

PathCoefficients PathCoefficients::Compute(const ParamBlock& p, double sampleRate)
{
    PathCoefficients k{};
    const double crossoverRate = sampleRate > 0.0 ? sampleRate : 44100.0;
    const double q = units::QualityFactor(p.QFactor);
    for (int x = 0; x < kCrossoverCount; ++x)
        k.crossover[x] = ComputeCrossoverCoeffs(units::FrequencyHz(p.Freq[x]), q, crossoverRate);
    for (int b = 0; b < kBandCount; ++b)
        k.band[b] = BandConstants::Compute(p, b, sampleRate);
    k.detector.cUp = TimeCoefficient(0.01, sampleRate);
    k.detector.cDown = TimeCoefficient(1.0, sampleRate);
    k.outputGain = units::OutputGainFactor(p.OutputGain);
    k.limiterOn = p.Limiter != 0;
    return k;
}

void SignalPath::beginStream()
{
    for (BandState& band : m_bands)
        band.reset();
    m_limiter.beginStream();
    m_monoSplit.reset();
    m_stereoSplit.reset();
    m_flushing = false;
    m_nonFiniteInput = 0;
}

double SignalPath::containInput(double sample)
{
    if (!std::isfinite(sample)) {
        ++m_nonFiniteInput;
        return 0.0;
    }
    return std::clamp(sample, -kInputLimit, kInputLimit);
}

void SignalPath::restartAfterBreakdown(double& left, double& right)
{
    for (BandState& band : m_bands)
        band.reset();
    m_monoSplit.reset();
    m_stereoSplit.reset();
    m_limiter.silenceHeldFrames();
    left = right = 0.0;
}

void SignalPath::adopt(const PathCoefficients& coefficients)
{
    const bool limiterSwitched = m_adopted && coefficients.limiterOn != m_k.limiterOn;
    m_k = coefficients;
    m_adopted = true;
    for (BandState& band : m_bands)
        band.gs = 1.0;
    if (!m_k.limiterOn)
        m_limiter.idleReset();
    if (!limiterSwitched)
        return;
    if (!m_delaying)
        resetLookahead();  // a fresh line: the latency starts here
    else if (!m_k.limiterOn)
        m_limiter.releaseToUnity();  // the line goes on at unity gain
}

void SignalPath::resetLookahead()
{
    m_limiter.resetLookahead();
    m_delaying = false;
    m_flushing = false;
}

template <typename Sample>
long SignalPath::process(Sample* buffer, long frames, bool stereo, MeterRecord& meters, bool& over)
{
    m_flushing = false;
    return stereo ? processFrames<Sample, 2>(buffer, frames, meters, over)
                  : processFrames<Sample, 1>(buffer, frames, meters, over);
}

template <typename Sample, int Channels>
long SignalPath::processFrames(Sample* buffer, long frames, MeterRecord& meters, bool& over)
{
    Chunk& c = m_chunk;
    Sample* out = buffer;
    for (long first = 0; first < frames; first += Chunk::kFrames) {
        const int n = static_cast<int>(std::min<long>(Chunk::kFrames, frames - first));
        // The whole chunk is read before any of it is written: the output lags the input
        // by the frames the limiter holds, so it never overwrites a frame not yet read.
        const Sample* in = buffer + first * Channels;
        for (int i = 0; i < n; ++i, in += Channels) {
            // The same tiny noise on both channels keeps filters and detectors out of
            // denormal numbers when the input falls silent.
            const double z = m_noise.next();
            double left = static_cast<double>(in[0]);
            double right = Channels == 2 ? static_cast<double>(in[1]) : left;
            if (!(std::fabs(left) <= kInputLimit && std::fabs(right) <= kInputLimit)) {
                left = containInput(left);
                right = Channels == 2 ? containInput(right) : left;
            }
            if (Channels == 2)
                c.stereoInput[i] = StereoPair(left + z, right + z);
            else
                c.monoInput[i] = left + z;
        }
        for (int from = 0; from < n;) {
            computeTargets<Channels>(from, n);
            from = finishFrames<Sample, Channels>(from, n, out, meters, over);
        }
    }
    return static_cast<long>((out - buffer) / Channels);
}

template <int Channels>
void SignalPath::computeTargets(int from, int n)
{
    Chunk& c = m_chunk;
    const PathCoefficients& k = m_k;
    // A stereo stream splits both channels at once, one in each lane; a mono stream is
    // its own right channel (the right channel's filters, fed the same samples from the
    // same state, would compute the same bands).
    if (Channels == 2)
        m_stereoSplit.split(k.crossover, c.stereoInput + from, c.stereoBands + from, n - from);
    else
        m_monoSplit.split(k.crossover, c.monoInput + from, c.monoBands + from, n - from);
    for (int i = from; i < n; ++i) {
        for (int b = 0; b < kBandCount; ++b) {
            if (Channels == 2)
                c.level[b][i] = m_bands[b].detect(k.detector, c.stereoBands[i][b].lane[0], c.stereoBands[i][b].lane[1]);
            else
                c.level[b][i] = m_bands[b].detect(k.detector, c.monoBands[i][b], c.monoBands[i][b]);
        }
    }
    const int count = n - from;
    for (int b = 0; b < kBandCount; ++b)
        BandState::TargetGains(k.band[b], c.level[b] + from, c.target[b] + from, count);
}

template <typename Sample, int Channels>
int SignalPath::finishFrames(int from, int n, Sample*& out, MeterRecord& meters, bool& over)
{
    constexpr bool stereo = Channels == 2;
    const Chunk& c = m_chunk;
    const PathCoefficients& k = m_k;
    FiveBandFollowers followers(k.band, m_bands, meters);
    for (int i = from; i < n; ++i) {
        const double target[kBandCount] = {c.target[0][i], c.target[1][i], c.target[2][i], c.target[3][i],
                                           c.target[4][i]};
        double gain[kBandCount + 1];
        followers.step(target, gain);
        double sumL = 0.0, sumR = 0.0;
        if (stereo) {
            // Both channels at once: the band's left and right samples are one pair.
            lanes::Pair sum(0.0);
            for (int b = 0; b < kBandCount; ++b) {
                const lanes::Pair band = lanes::Pair::Load(c.stereoBands[i][b].lane);
                BandMeter& meter = meters.band[b];
                const lanes::Pair peaks = lanes::Max(lanes::Abs(band), lanes::Pair(meter.left, meter.right));
                meter.left = peaks.first();
                meter.right = peaks.second();
                sum = sum + lanes::Pair(gain[b]) * band;
            }
            sumL = sum.first();
            sumR = sum.second();
        } else {
            for (int b = 0; b < kBandCount; ++b) {
                const double x = c.monoBands[i][b];
                meters.band[b].trackPeaks(x, x);
                sumL += gain[b] * x;
            }
        }
        double outL = k.outputGain * sumL;
        double outR = stereo ? k.outputGain * sumR : outL;
        const bool broken = !(std::fabs(outL) <= kBrokenSum && std::fabs(outR) <= kBrokenSum);
        if (broken) {
            followers.store(m_bands, meters);
            restartAfterBreakdown(outL, outR);
        }

        if (!k.limiterOn && !m_delaying) {
            over = over || std::max(std::fabs(outL), std::fabs(outR)) > 1.0;
            out[0] = static_cast<Sample>(outL);
            meters.outputLeft = std::max(meters.outputLeft, std::fabs(outL));
            if (stereo) {
                out[1] = static_cast<Sample>(outR);
                meters.outputRight = std::max(meters.outputRight, std::fabs(outR));
            }
            out += Channels;
        } else {
            double yL, yR;
            if (k.limiterOn) {
                over = m_limiter.step(outL, outR, yL, yR) || over;
                m_delaying = true;
            } else {
                m_limiter.delayOnly(outL, outR, yL, yR);
                over = over || std::max(std::fabs(outL), std::fabs(outR)) > 1.0;
            }
            if (m_limiter.admit()) {
                out[0] = static_cast<Sample>(yL);
                if (stereo)
                    out[1] = static_cast<Sample>(yR);
                out += Channels;
            }
            // Mono: the limiter's meters show the left channel on both sides; without it
            // the right stays 0, as on the direct path.
            meters.outputLeft = std::max(meters.outputLeft, std::fabs(yL));
            if (stereo)
                meters.outputRight = std::max(meters.outputRight, std::fabs(yR));
            else if (k.limiterOn)
                meters.outputRight = meters.outputLeft;
        }
        if (broken)
            return i + 1;
    }
    followers.store(m_bands, meters);
    return n;
}

template <typename Sample>
bool SignalPath::flush(Sample* buffer, long& frames, bool stereo)
{
    if (!m_flushing)
        m_limiter.prepareDrain();
    m_flushing = true;

    Sample* out = buffer;
    long count = 0;
    double yL, yR;
    for (; count < frames && m_limiter.drain(yL, yR); ++count) {
        *out++ = static_cast<Sample>(yL);
        if (stereo)
            *out++ = static_cast<Sample>(yR);
    }
    frames = count;
    return m_limiter.drained();
}

template long SignalPath::process<float>(float*, long, bool, MeterRecord&, bool&);
template long SignalPath::process<double>(double*, long, bool, MeterRecord&, bool&);
template bool SignalPath::flush<float>(float*, long&, bool);
template bool SignalPath::flush<double>(double*, long&, bool);

} // namespace qz
