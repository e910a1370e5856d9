#pragma once
// One instance of the LV2 plug-in: the engine, the ports the host connected, and the
// settings handed between the audio thread and the threads that save and restore state.
//
// run() reads the control inputs once per call; a value the host changed is converted
// to the engine's integer and the settings go to the engine as one block, so the block
// the host cut is the unit of automation. The engine works on interleaved frames: run()
// feeds it through a fixed scratch buffer in slices, which gives the same samples as one
// long block. While the limiter's lookahead fills, the engine withholds frames; run()
// puts silence in their place, so the output is the engine's stream delayed by the
// latency it reports, and every call writes all its frames.

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <memory>

#include "PortTable.h"
#include "SharedBlock.h"
#include "StandaloneEngine.h"

namespace qz::lv2 {

class Plugin {
public:
    // Rates the engine is made for; the plug-in refuses to start at any other.
    static constexpr double kLowestRate = 8000.0;
    static constexpr double kHighestRate = 768000.0;

    // `map` may be null: the plug-in then runs, but cannot save or restore state.
    Plugin(const PortLayout& layout, double sampleRate, const LV2_URID_Map* map);

    void connect(uint32_t port, void* data);
    void activate();
    void deactivate();
    void run(uint32_t frames);

    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

private:
    static constexpr uint32_t kSliceFrames = 512;

    // A new engine with the settings in force: a stream after activate() sounds
    // exactly as the first one of a new instance.
    void makeEngine();
    void applySettings();  // m_settings, spares included, to the engine
    void beginStream();
    void adoptRestoredSettings();
    void readControlPorts();
    void processSlice(uint32_t offset, uint32_t frames);
    void writeOutputControls();
    void silenceOutputs(uint32_t frames);
    // The settings as they stand, for saving: a restored block not yet taken over by
    // the audio thread counts.
    ParamBlock settingsForSaving() const;

    PortLayout m_layout;
    WAVEFORMATEX m_format;
    std::unique_ptr<StandaloneEngine> m_engine;
    bool m_active = false;
    bool m_engineUsed = false;  // the engine has run a stream since it was made
    bool m_lookaheadReset = true;  // the next slice starts a new stream position

    // Ports (null until connected).
    const float* m_controls[kParamCount] = {};
    const float* m_in[2] = {};
    float* m_out[2] = {};
    float* m_latency = nullptr;
    float* m_bandGain[kBandCount] = {};
    float* m_outputPeak[2] = {};

    // Audio thread only.
    ParamBlock m_settings;            // what the engine runs with, spares included
    float m_lastControl[kParamCount];  // the control values last read
    MeterRecord m_meters{};
    float m_scratch[kSliceFrames * 2];

    // Handed between threads.
    SharedBlock m_published;              // written by the audio thread, read by save()
    SharedBlock m_restored;               // written by restore(), taken by run()
    std::atomic<uint32_t> m_adoptedRestore;  // the m_restored sequence run() took last

    LV2_URID m_recordKey = 0;
    LV2_URID m_chunkType = 0;
};

} // namespace qz::lv2
