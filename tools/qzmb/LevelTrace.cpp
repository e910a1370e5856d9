#include "LevelTrace.h"

#include <algorithm>

namespace qz::cli {

namespace {

void MergeInto(LevelTrace::Bin& into, const LevelTrace::Bin& other)
{
    into.inputPeak = std::max(into.inputPeak, other.inputPeak);
    into.outputPeak = std::max(into.outputPeak, other.outputPeak);
    for (int b = 0; b < kBandCount; ++b)
        into.bandGain[b] = FartherFromUnity(into.bandGain[b], other.bandGain[b]);
}

} // namespace

void LevelTrace::start(int sampleRate, int64_t binFrames)
{
    m_sampleRate = sampleRate;
    m_frames = 0;
    m_binFrames = std::max<int64_t>(binFrames, 1);
    m_bins.clear();
}

void LevelTrace::addInput(int64_t firstFrame, int64_t frames, double peak, const MeterRecord& meters)
{
    Bin block;
    block.inputPeak = peak;
    for (int b = 0; b < kBandCount; ++b)
        block.bandGain[b] = meters.band[b].gain;
    MergeInto(binAt(firstFrame), block);
    m_frames = std::max(m_frames, firstFrame + frames);
}

void LevelTrace::addOutput(int64_t firstFrame, double peak)
{
    Bin& bin = binAt(firstFrame);
    bin.outputPeak = std::max(bin.outputPeak, peak);
}

LevelTrace::Bin& LevelTrace::binAt(int64_t frame)
{
    while (frame / m_binFrames >= static_cast<int64_t>(kMaxBins))
        mergeNeighbours();
    const size_t index = static_cast<size_t>(frame / m_binFrames);
    if (index >= m_bins.size())
        m_bins.resize(index + 1);
    return m_bins[index];
}

void LevelTrace::mergeNeighbours()
{
    const size_t merged = (m_bins.size() + 1) / 2;
    for (size_t i = 0; i < merged; ++i) {
        Bin bin = m_bins[2 * i];
        if (2 * i + 1 < m_bins.size())
            MergeInto(bin, m_bins[2 * i + 1]);
        m_bins[i] = bin;
    }
    m_bins.resize(merged);
    m_binFrames *= 2;
}

} // namespace qz::cli
