#include "Lv2TestHost.h"

#include <dlfcn.h>
#include <lv2/atom/atom.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

namespace qz::lv2test {

namespace {

using DescriptorFunction = const LV2_Descriptor* (*)(uint32_t);

DescriptorFunction DescriptorEntry()
{
    static void* const binary = dlopen(QZ_LV2_BINARY, RTLD_NOW | RTLD_LOCAL);
    if (binary == nullptr)
        throw std::runtime_error(std::string("cannot load ") + QZ_LV2_BINARY + ": " + dlerror());
    return reinterpret_cast<DescriptorFunction>(dlsym(binary, "lv2_descriptor"));
}

struct StateHandle {
    UridMap* urids;
    std::map<std::string, StateValue>* saved;
    const std::map<std::string, StateValue>* toRestore;
    std::map<LV2_URID, std::string> names;
};

LV2_State_Status Store(LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                       uint32_t flags)
{
    auto* state = static_cast<StateHandle*>(handle);
    StateValue& stored = (*state->saved)[state->names.at(key)];
    const auto* bytes = static_cast<const uint8_t*>(value);
    stored.bytes.assign(bytes, bytes + size);
    stored.type = type;
    stored.flags = flags;
    return LV2_STATE_SUCCESS;
}

const void* Retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags)
{
    auto* state = static_cast<StateHandle*>(handle);
    auto name = state->names.find(key);
    if (name == state->names.end())
        return nullptr;
    auto found = state->toRestore->find(name->second);
    if (found == state->toRestore->end())
        return nullptr;
    *size = found->second.bytes.size();
    *type = found->second.type;
    *flags = found->second.flags;
    return found->second.bytes.data();
}

} // namespace

const LV2_Descriptor* Descriptor(const char* uri)
{
    const DescriptorFunction entry = DescriptorEntry();
    for (uint32_t i = 0;; ++i) {
        const LV2_Descriptor* descriptor = entry(i);
        if (descriptor == nullptr || std::strcmp(descriptor->URI, uri) == 0)
            return descriptor;
    }
}

UridMap::UridMap() : m_map{this, &UridMap::Map}, m_feature{LV2_URID__map, &m_map} {}

LV2_URID UridMap::map(const std::string& uri)
{
    auto found = m_ids.find(uri);
    if (found != m_ids.end())
        return found->second;
    const LV2_URID id = static_cast<LV2_URID>(m_ids.size() + 1);
    m_ids[uri] = id;
    return id;
}

LV2_URID UridMap::Map(LV2_URID_Map_Handle handle, const char* uri) { return static_cast<UridMap*>(handle)->map(uri); }

BlockSizes FixedBlocks(uint32_t frames)
{
    return [frames](uint32_t left) { return std::min(frames, left); };
}

BlockSizes RandomBlocks(uint32_t seed, uint32_t largest)
{
    auto generator = std::make_shared<std::mt19937>(seed);
    return [generator, largest](uint32_t left) {
        std::uniform_int_distribution<uint32_t> size(1, largest);
        return std::min(size(*generator), left);
    };
}

Instance::Instance(const char* uri, double sampleRate, bool withMap)
    : m_descriptor(Descriptor(uri)), m_layout(std::strcmp(uri, lv2::kMonoUri) == 0 ? lv2::kMonoLayout : lv2::kStereoLayout)
{
    const LV2_Feature* features[] = {m_urids.feature(), nullptr};
    const LV2_Feature* none[] = {nullptr};
    m_handle = m_descriptor->instantiate(m_descriptor, sampleRate, "/nonexistent/qzmultiband.lv2/",
                                         withMap ? features : none);
    if (m_handle == nullptr)
        return;
    setControls(DefaultParamBlock());
    for (int p = 0; p < kParamCount; ++p)
        m_descriptor->connect_port(m_handle, p, &m_controls[p]);
    m_descriptor->connect_port(m_handle, m_layout.latency(), &m_latency);
    for (int b = 0; b < kBandCount; ++b)
        m_descriptor->connect_port(m_handle, m_layout.bandGain(b), &m_bandGain[b]);
    for (int c = 0; c < m_layout.channels; ++c)
        m_descriptor->connect_port(m_handle, m_layout.outputPeak(c), &m_outputPeak[c]);
    m_descriptor->activate(m_handle);
}

Instance::~Instance()
{
    if (m_handle == nullptr)
        return;
    m_descriptor->deactivate(m_handle);
    m_descriptor->cleanup(m_handle);
}

void Instance::setControls(const ParamBlock& settings)
{
    for (int p = 0; p < kParamCount; ++p)
        m_controls[p] = lv2::PortValue(p, settings.field(Param(p).blockIndex));
}

void Instance::connectBuffers(float* const in[2], float* const out[2])
{
    for (int c = 0; c < m_layout.channels; ++c) {
        m_descriptor->connect_port(m_handle, m_layout.audioIn(c), in[c]);
        m_descriptor->connect_port(m_handle, m_layout.audioOut(c), out[c]);
    }
}

std::vector<float> Instance::process(const std::vector<float>& interleaved, const BlockSizes& blocks, bool inPlace)
{
    const int channels = m_layout.channels;
    const uint32_t frames = static_cast<uint32_t>(interleaved.size() / channels);
    std::vector<float> output(interleaved.size());
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = blocks(frames - done);
        // Buffers of exactly the block's size, so that a read or write beyond it shows.
        std::vector<float> in[2], out[2];
        float* inPtr[2] = {};
        float* outPtr[2] = {};
        for (int c = 0; c < channels; ++c) {
            in[c].resize(n);
            for (uint32_t i = 0; i < n; ++i)
                in[c][i] = interleaved[(done + i) * channels + c];
            out[c].assign(n, -12345.0f);
            inPtr[c] = in[c].data();
            outPtr[c] = inPlace ? in[c].data() : out[c].data();
        }
        connectBuffers(inPtr, outPtr);
        run(n);
        for (int c = 0; c < channels; ++c)
            for (uint32_t i = 0; i < n; ++i)
                output[(done + i) * channels + c] = outPtr[c][i];
        done += n;
    }
    return output;
}

LV2_State_Status Instance::save(std::map<std::string, StateValue>& values)
{
    auto* state = static_cast<const LV2_State_Interface*>(m_descriptor->extension_data(LV2_STATE__interface));
    StateHandle handle{&m_urids, &values, nullptr, {}};
    handle.names[m_urids.map(lv2::kRecordUri)] = lv2::kRecordUri;
    return state->save(m_handle, Store, &handle, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
}

LV2_State_Status Instance::restore(const std::map<std::string, StateValue>& values)
{
    auto* state = static_cast<const LV2_State_Interface*>(m_descriptor->extension_data(LV2_STATE__interface));
    StateHandle handle{&m_urids, nullptr, &values, {}};
    for (const auto& value : values)
        handle.names[m_urids.map(value.first)] = value.first;
    return state->restore(m_handle, Retrieve, &handle, 0, nullptr);
}

std::vector<uint8_t> Instance::savedRecord()
{
    std::map<std::string, StateValue> values;
    if (save(values) != LV2_STATE_SUCCESS)
        return {};
    return values[lv2::kRecordUri].bytes;
}

LV2_State_Status Instance::restoreRecord(const std::vector<uint8_t>& bytes, const char* typeUri)
{
    StateValue value;
    value.bytes = bytes;
    value.type = m_urids.map(typeUri != nullptr ? typeUri : LV2_ATOM__Chunk);
    value.flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return restore({{lv2::kRecordUri, value}});
}

std::vector<float> TestSignal(uint32_t frames, int channels)
{
    std::vector<float> s(static_cast<size_t>(frames) * channels);
    for (uint32_t n = 0; n < frames; ++n) {
        const double envelope = (n / 4410) % 2 ? 1.0 : 0.1;
        const double low = 0.6 * envelope * std::sin(2 * M_PI * 70 * n / 44100.0);
        const double high = 0.2 * std::sin(2 * M_PI * 3000 * n / 44100.0);
        s[n * channels] = static_cast<float>(low + high);
        if (channels == 2)
            s[n * channels + 1] = static_cast<float>(0.8 * low - high);
    }
    return s;
}

ParamBlock BusySettings()
{
    ParamBlock p = DefaultParamBlock();
    p.Threshold[0] = -300;
    p.Ratio[0] = 80;
    p.Attack[0] = 5;
    p.Release[0] = 60;
    p.Threshold[1] = -250;
    p.Ratio[1] = 40;
    p.Type[1] = 1;
    p.Threshold[3] = -200;
    p.Ratio[3] = 6;  // expands above the threshold
    p.Gain[2] = 35;
    p.Knee[4] = 0;
    p.Freq[0] = 70;
    p.QFactor = 80;
    p.TCR = 1;
    p.OutputGain = 90;
    return p;
}

} // namespace qz::lv2test
