// The streaming side of the engine: the transform step for one media sample, the block
// entries, the streaming entries, the automation pull and the coefficient update.
#include <cstring>

#include "CAudioTransform.h"
#include "SampleFormat.h"

namespace qz {

HRESULT CAudioTransform::BeginStreaming(const WAVEFORMATEX& format)
{
    SetFormat(format);
    m_meters.reset();
    m_path.beginStream();
    m_wasBypassed = false;
    {
        LockGuard hold(m_lock);
        for (LONG& indicator : m_indicators[0])
            indicator = 0;
    }
    PullAutomation();
    HRESULT hr = RecomputeCoefficients();
    m_running = true;
    return hr;
}

void CAudioTransform::DiscardStream()
{
    m_meters.reset();
    m_path.beginStream();
    m_path.resetLookahead();
    m_wasBypassed = false;
}

HRESULT CAudioTransform::EndStreaming()
{
    m_running = false;
    m_meters.reset();
    return S_OK;
}

HRESULT CAudioTransform::RecomputeNow()
{
    PullAutomation();
    return RecomputeCoefficients();
}

void CAudioTransform::StoreAutomationValues()
{
    LockGuard hold(m_lock);
    if (m_automation == nullptr)
        return;
    for (int p = 0; p < kParamCount; ++p) {
        const int32_t value = ToEngine(p, m_automation->CurrentValue(p));
        int32_t& stored = m_current.field(Param(p).blockIndex);
        if (stored != value) {
            stored = value;
            m_recompute = true;
        }
    }
}

bool CAudioTransform::PullAutomation()
{
    LockGuard hold(m_lock);
    StoreAutomationValues();
    const bool changed = m_recompute;
    m_recompute = false;
    if (changed)
        m_changedForEditor = true;
    return changed;
}

ParamBlock CAudioTransform::BlockForSaving()
{
    LockGuard hold(m_lock);
    StoreAutomationValues();
    return m_current;
}

HRESULT CAudioTransform::RecomputeCoefficients()
{
    LockGuard hold(m_lock);
    m_coefficients = PathCoefficients::Compute(m_current, SampleRate());
    ++m_coefficientsSerial;
    m_coefficientsValid = true;
    return S_OK;
}

HRESULT CAudioTransform::TransformBuffer(MediaBuffer& sample, bool flushing)
{
    if (sample.data == nullptr)
        return E_POINTER;
    WAVEFORMATEX format;
    if (GetFormat(&format) != S_OK)
        return VFW_E_NOT_CONNECTED;
    const SampleFormat sampleFormat = SampleFormatOf(format);
    const LONG bytesPerFrame = BytesPerFrame(format);
    if (sampleFormat == SampleFormat::Unsupported)
        return E_INVALIDARG;

    BlockMode mode;
    LONG length = sample.length;
    if (flushing) {
        mode = BlockMode::Flush;
        length = sample.capacity;
        std::memset(sample.data, 0, static_cast<size_t>(sample.capacity));
    } else {
        mode = sample.discontinuity ? BlockMode::Discontinuity : BlockMode::Continuous;
    }
    if (mode == BlockMode::Discontinuity && sample.hasStartTime)
        m_samplePosition = FrameAtTime(sample.startTime, format.nSamplesPerSec);
    if (m_automation != nullptr)
        m_automation->UpdateToSample(m_samplePosition);

    LONG frames = length / bytesPerFrame;
    // The stream's time counts the frames that came in, however many the lookahead
    // holds back; the flush's zeroed frames are not part of the stream.
    const LONG arrived = mode == BlockMode::Flush ? 0 : frames;
    HRESULT hr = E_INVALIDARG;
    switch (sampleFormat) {
    case SampleFormat::Pcm16:
        hr = ProcessPcm16(mode, reinterpret_cast<int16_t*>(sample.data), &frames);
        break;
    case SampleFormat::Float32:
        hr = ProcessFloat32(mode, reinterpret_cast<float*>(sample.data), &frames);
        break;
    case SampleFormat::Float64:
        hr = ProcessFloat64(mode, reinterpret_cast<double*>(sample.data), &frames);
        break;
    case SampleFormat::Unsupported:
        break;
    }
    if (FAILED(hr))
        return hr;
    sample.length = bytesPerFrame * frames;
    m_samplePosition += arrived;
    return hr;
}

HRESULT CAudioTransform::ProcessPcm16(BlockMode mode, int16_t* buffer, LONG* frames)
{
    if (frames == nullptr || (buffer == nullptr && *frames > 0))
        return E_POINTER;
    size_t channels;
    {
        LockGuard hold(m_lock);
        channels = IsStereo() ? 2 : 1;
    }
    const size_t samples = static_cast<size_t>(*frames) * channels;
    float* scratch = static_cast<float*>(AllocateScratch((samples > 0 ? samples : 1) * sizeof(float)));
    if (scratch == nullptr)
        return E_OUTOFMEMORY;
    for (size_t k = 0; k < samples; ++k)
        scratch[k] = Pcm16ToFloat(buffer[k]);
    HRESULT hr = ProcessFloat32(mode, scratch, frames);
    if (SUCCEEDED(hr)) {
        const size_t written = static_cast<size_t>(*frames) * channels;
        for (size_t k = 0; k < written; ++k)
            buffer[k] = FloatToPcm16(scratch[k]);
    }
    FreeScratch(scratch);
    return hr;
}

HRESULT CAudioTransform::ProcessFloat32(BlockMode mode, float* buffer, LONG* frames)
{
    return ProcessBlock(mode, buffer, frames);
}

HRESULT CAudioTransform::ProcessFloat64(BlockMode mode, double* buffer, LONG* frames)
{
    return ProcessBlock(mode, buffer, frames);
}

template <typename Sample>
HRESULT CAudioTransform::ProcessBlock(BlockMode mode, Sample* buffer, LONG* frames)
{
    if (frames == nullptr || (buffer == nullptr && *frames > 0))
        return E_POINTER;

    if (m_effectBypass) {
        m_meters.reset();
        m_wasBypassed = true;
        if (mode == BlockMode::Flush) {
            *frames = 0;
            return S_FALSE;
        }
        return S_OK;
    }
    if (m_wasBypassed) {
        // What the lookahead held when bypass went on is long past: never replay it.
        m_path.resetLookahead();
        m_wasBypassed = false;
    }

    bool recompute = PullAutomation();
    if (!recompute)
        recompute = m_automation != nullptr && m_automation->TestAndClearChanged() == S_OK;
    bool stereo;
    {
        LockGuard hold(m_lock);
        if (recompute || !m_coefficientsValid) {
            HRESULT hr = RecomputeCoefficients();
            if (FAILED(hr))
                return hr;
        }
        stereo = IsStereo();
        if (m_adoptedSerial != m_coefficientsSerial) {
            m_path.adopt(m_coefficients);
            m_adoptedSerial = m_coefficientsSerial;
        }
    }

    if (mode == BlockMode::Discontinuity)
        m_path.resetLookahead();
    if (mode == BlockMode::Flush) {
        long count = *frames;
        const bool empty = m_path.flush(buffer, count, stereo);
        *frames = static_cast<LONG>(count);
        return empty ? S_FALSE : S_OK;
    }

    MeterRecord blockMeters;
    blockMeters.reset();
    bool over = false;
    *frames = static_cast<LONG>(m_path.process(buffer, *frames, stereo, blockMeters, over));
    if (over)
        SetOverIndicator(3, 0);
    m_meters.merge(blockMeters, !stereo);
    return S_OK;
}

} // namespace qz
