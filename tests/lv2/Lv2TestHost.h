#pragma once
// A small LV2 host for the tests: it loads the built plug-in binary from its bundle
// with dlopen, as every host does, and drives one instance through the descriptor:
// ports, blocks of any size, state saved and restored through the state interface.

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ParamBlock.h"
#include "PortTable.h"

namespace qz::lv2test {

// The descriptor of one of the binary's plug-ins (kStereoUri or kMonoUri).
const LV2_Descriptor* Descriptor(const char* uri);

// URIs to numbers, as hosts map them.
class UridMap {
public:
    UridMap();
    LV2_URID map(const std::string& uri);
    const LV2_Feature* feature() const { return &m_feature; }

private:
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);
    std::map<std::string, LV2_URID> m_ids;
    LV2_URID_Map m_map;
    LV2_Feature m_feature;
};

// One value the plug-in stored or the test hands to restore().
struct StateValue {
    std::vector<uint8_t> bytes;
    LV2_URID type = 0;
    uint32_t flags = 0;
};

// The sizes of the blocks a stream is cut into; called once per block with the
// frames left, returns the block's size.
using BlockSizes = std::function<uint32_t(uint32_t framesLeft)>;
BlockSizes FixedBlocks(uint32_t frames);
BlockSizes RandomBlocks(uint32_t seed, uint32_t largest);

class Instance {
public:
    // withMap false: no host features at all, as lv2apply runs plug-ins.
    Instance(const char* uri, double sampleRate, bool withMap = true);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool valid() const { return m_handle != nullptr; }
    int channels() const { return m_layout.channels; }

    // The control inputs, in the ports' units, by parameter index.
    float& control(int paramIndex) { return m_controls[paramIndex]; }
    void setControls(const ParamBlock& settings);  // every control port to these settings
    float latency() const { return m_latency; }
    float bandGain(int band) const { return m_bandGain[band]; }
    float outputPeak(int channel) const { return m_outputPeak[channel]; }

    // Runs interleaved frames through the plug-in, cut into blocks; returns the output,
    // interleaved. inPlace: the output ports share the input ports' buffers.
    std::vector<float> process(const std::vector<float>& interleaved, const BlockSizes& blocks,
                               bool inPlace = false);
    // The audio ports to buffers of the caller's, one per channel, for run().
    void connectBuffers(float* const in[2], float* const out[2]);
    void run(uint32_t frames) { m_descriptor->run(m_handle, frames); }
    void activate() { m_descriptor->activate(m_handle); }
    void deactivate() { m_descriptor->deactivate(m_handle); }

    // State: what save() stored, by key URI; restore() from the given values.
    LV2_State_Status save(std::map<std::string, StateValue>& values);
    LV2_State_Status restore(const std::map<std::string, StateValue>& values);
    // The settings record the plug-in saves (empty when saving failed).
    std::vector<uint8_t> savedRecord();
    LV2_State_Status restoreRecord(const std::vector<uint8_t>& bytes, const char* typeUri = nullptr);

    UridMap& urids() { return m_urids; }

private:
    const LV2_Descriptor* m_descriptor;
    lv2::PortLayout m_layout;
    UridMap m_urids;
    LV2_Handle m_handle = nullptr;
    float m_controls[kParamCount] = {};
    float m_latency = -1.0f;
    float m_bandGain[kBandCount] = {};
    float m_outputPeak[2] = {};
};

// A stereo or mono test signal at 44.1 kHz: a low tone that comes and goes and a high
// tone, in [-0.8, 0.8], interleaved.
std::vector<float> TestSignal(uint32_t frames, int channels);

// Settings that make every band work: compression, a Vintage band, an expanding band,
// TCR, moved crossovers, output gain into the limiter.
ParamBlock BusySettings();

} // namespace qz::lv2test
