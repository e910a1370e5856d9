#include "Plugin.h"

#include <lv2/atom/atom.h>

#include <cmath>
#include <cstring>
#include <new>

#include "Limiter.h"
#include "StoredRecord.h"

namespace qz::lv2 {

namespace {

WAVEFORMATEX Float32Format(int channels, double sampleRate)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(std::lround(sampleRate));
    format.wBitsPerSample = 32;
    format.nBlockAlign = static_cast<WORD>(4 * channels);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    return format;
}

} // namespace

Plugin::Plugin(const PortLayout& layout, double sampleRate, const LV2_URID_Map* map)
    : m_layout(layout), m_format(Float32Format(layout.channels, sampleRate)), m_settings(DefaultParamBlock())
{
    makeEngine();
    // A host that never writes a control port leaves its default there.
    for (int p = 0; p < kParamCount; ++p)
        m_lastControl[p] = PortValue(p, m_settings.field(Param(p).blockIndex));
    m_published.store(m_settings);
    m_adoptedRestore.store(m_restored.sequence());
    m_meters.reset();
    if (map != nullptr) {
        m_recordKey = map->map(map->handle, kRecordUri);
        m_chunkType = map->map(map->handle, LV2_ATOM__Chunk);
    }
    // The conversions build their tables on first use: here, not in the audio thread.
    int32_t unused;
    for (int p = 0; p < kParamCount; ++p)
        EngineValueOf(p, PortValue(p, m_settings.field(Param(p).blockIndex)), unused);
}

void Plugin::connect(uint32_t port, void* data)
{
    if (port < kParamCount) {
        m_controls[port] = static_cast<const float*>(data);
        return;
    }
    float* const buffer = static_cast<float*>(data);
    for (int c = 0; c < m_layout.channels; ++c) {
        if (port == static_cast<uint32_t>(m_layout.audioIn(c)))
            m_in[c] = buffer;
        if (port == static_cast<uint32_t>(m_layout.audioOut(c)))
            m_out[c] = buffer;
        if (port == static_cast<uint32_t>(m_layout.outputPeak(c)))
            m_outputPeak[c] = buffer;
    }
    for (int b = 0; b < kBandCount; ++b)
        if (port == static_cast<uint32_t>(m_layout.bandGain(b)))
            m_bandGain[b] = buffer;
    if (port == static_cast<uint32_t>(m_layout.latency()))
        m_latency = buffer;
}

void Plugin::makeEngine()
{
    m_engine = std::make_unique<StandaloneEngine>();
    applySettings();
    m_engine->SetFormat(m_format);
    m_engineUsed = false;
}

void Plugin::applySettings()
{
    m_engine->ApplyParamBlock(&m_settings);
    m_engine->SetSpare1(m_settings.Spare1, FALSE);
    m_engine->SetSpare2(m_settings.Spare2, FALSE);
}

void Plugin::beginStream()
{
    m_engine->BeginStreaming(m_format);
    m_lookaheadReset = true;
    m_meters.reset();
    m_active = true;
    m_engineUsed = true;
}

void Plugin::activate()
{
    try {
        if (m_engineUsed)
            makeEngine();
    } catch (const std::bad_alloc&) {
        // Out of memory: the stream starts on the engine there is, only not from scratch.
    }
    beginStream();
}

void Plugin::deactivate()
{
    m_engine->EndStreaming();
    m_active = false;
}

void Plugin::adoptRestoredSettings()
{
    const uint32_t pending = m_restored.sequence();
    if (pending == m_adoptedRestore.load(std::memory_order_relaxed))
        return;
    ParamBlock restored;
    uint32_t sequence;
    if (!m_restored.load(restored, sequence))
        return;  // restore() is writing it right now: the next call takes it
    m_settings = restored;
    applySettings();
    m_published.store(m_settings);
    m_adoptedRestore.store(sequence, std::memory_order_release);
}

void Plugin::readControlPorts()
{
    bool changed = false;
    for (int p = 0; p < kParamCount; ++p) {
        if (m_controls[p] == nullptr)
            continue;
        // Only a port the host moved counts: one that still shows what it showed
        // before a restore does not undo the restored settings.
        const float value = *m_controls[p];
        if (value == m_lastControl[p])
            continue;
        m_lastControl[p] = value;
        int32_t& field = m_settings.field(Param(p).blockIndex);
        int32_t engineValue;
        // A port that shows the setting in force changes nothing, not even which of
        // two frequency steps of the same whole hertz a restored record holds.
        if (value == PortValue(p, field) || !EngineValueOf(p, value, engineValue))
            continue;
        if (field != engineValue) {
            field = engineValue;
            changed = true;
        }
    }
    if (changed) {
        m_engine->ApplyParamBlock(&m_settings);
        m_published.store(m_settings);
    }
}

void Plugin::run(uint32_t frames)
{
    if (!m_active)
        beginStream();  // a host that never activated: no new engine in the audio thread
    adoptRestoredSettings();
    readControlPorts();
    const int channels = m_layout.channels;
    bool connected = true;
    for (int c = 0; c < channels; ++c)
        connected = connected && m_in[c] != nullptr && m_out[c] != nullptr;
    if (!connected)
        silenceOutputs(frames);
    else
        for (uint32_t done = 0; done < frames; done += kSliceFrames)
            processSlice(done, std::min(kSliceFrames, frames - done));
    if (frames > 0 && connected)
        m_engine->GetMeters(&m_meters);
    writeOutputControls();
}

void Plugin::processSlice(uint32_t offset, uint32_t frames)
{
    const int channels = m_layout.channels;
    for (int c = 0; c < channels; ++c) {
        const float* in = m_in[c] + offset;
        for (uint32_t i = 0; i < frames; ++i)
            m_scratch[i * channels + c] = in[i];
    }
    LONG written = static_cast<LONG>(frames);
    const BlockMode mode = m_lookaheadReset ? BlockMode::Discontinuity : BlockMode::Continuous;
    m_lookaheadReset = false;
    m_engine->ProcessFloat32(mode, m_scratch, &written);
    // The frames the lookahead withheld come first in time: silence stands for them.
    const uint32_t withheld = frames - static_cast<uint32_t>(written);
    for (int c = 0; c < channels; ++c) {
        float* out = m_out[c] + offset;
        for (uint32_t i = 0; i < withheld; ++i)
            out[i] = 0.0f;
        for (uint32_t i = 0; i < static_cast<uint32_t>(written); ++i)
            out[withheld + i] = m_scratch[i * channels + c];
    }
}

void Plugin::silenceOutputs(uint32_t frames)
{
    for (float* out : m_out)
        if (out != nullptr)
            std::memset(out, 0, frames * sizeof(float));
}

void Plugin::writeOutputControls()
{
    if (m_latency != nullptr)
        *m_latency = m_settings.Limiter != 0 ? static_cast<float>(LimiterState::kLookahead) : 0.0f;
    for (int b = 0; b < kBandCount; ++b)
        if (m_bandGain[b] != nullptr)
            *m_bandGain[b] = MeterDecibels(m_meters.band[b].gain, kBandGainFloorDb, kBandGainCeilingDb);
    const double peaks[2] = {m_meters.outputLeft, m_meters.outputRight};
    for (int c = 0; c < m_layout.channels; ++c)
        if (m_outputPeak[c] != nullptr)
            *m_outputPeak[c] = MeterDecibels(peaks[c], kPeakFloorDb, kPeakCeilingDb);
}

ParamBlock Plugin::settingsForSaving() const
{
    // Both blocks have a single writer that never waits; a reader that met a write
    // simply reads again.
    ParamBlock block;
    uint32_t sequence;
    while (!m_restored.load(block, sequence)) {
    }
    if (sequence != m_adoptedRestore.load(std::memory_order_acquire))
        return block;
    while (!m_published.load(block, sequence)) {
    }
    return block;
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle)
{
    if (m_recordKey == 0)
        return LV2_STATE_ERR_NO_FEATURE;
    uint8_t record[kStoredRecordSize];
    WriteStoredRecord(settingsForSaving(), record);
    return store(handle, m_recordKey, record, sizeof record, m_chunkType,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
    if (m_recordKey == 0)
        return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* value = retrieve(handle, m_recordKey, &size, &type, &flags);
    if (value == nullptr)
        return LV2_STATE_ERR_NO_PROPERTY;
    if (type != m_chunkType)
        return LV2_STATE_ERR_BAD_TYPE;
    if (size != kStoredRecordSize)
        return LV2_STATE_ERR_UNKNOWN;
    uint8_t record[kStoredRecordSize];
    std::memcpy(record, value, sizeof record);
    ParamBlock block;
    if (!ReadStoredRecord(record, block))
        return LV2_STATE_ERR_UNKNOWN;  // another plug-in's record, or not a record at all
    m_restored.store(ClampedBlock(block));
    return LV2_STATE_SUCCESS;
}

// --- The LV2 entry points --------------------------------------------------------

namespace {

Plugin* Of(LV2_Handle instance) { return static_cast<Plugin*>(instance); }

template <const PortLayout& layout>
LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features)
{
    if (!(sampleRate >= Plugin::kLowestRate && sampleRate <= Plugin::kHighestRate))
        return nullptr;
    const LV2_URID_Map* map = nullptr;
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i)
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
    try {
        return new Plugin(layout, sampleRate, map);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void Connect(LV2_Handle instance, uint32_t port, void* data) { Of(instance)->connect(port, data); }
void Activate(LV2_Handle instance) { Of(instance)->activate(); }
void Run(LV2_Handle instance, uint32_t frames) { Of(instance)->run(frames); }
void Deactivate(LV2_Handle instance) { Of(instance)->deactivate(); }
void Cleanup(LV2_Handle instance) { delete Of(instance); }

LV2_State_Status Save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*)
{
    return Of(instance)->save(store, handle);
}

LV2_State_Status Restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                         uint32_t, const LV2_Feature* const*)
{
    return Of(instance)->restore(retrieve, handle);
}

const void* ExtensionData(const char* uri)
{
    static const LV2_State_Interface state = {Save, Restore};
    return std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kStereoUri, Instantiate<kStereoLayout>, Connect, Activate, Run, Deactivate, Cleanup, ExtensionData},
    {kMonoUri, Instantiate<kMonoLayout>, Connect, Activate, Run, Deactivate, Cleanup, ExtensionData},
};

} // namespace

} // namespace qz::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index < 2 ? &qz::lv2::kDescriptors[index] : nullptr;
}
