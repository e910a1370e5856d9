// The state a host hands back from its project, restored into the stereo LV2 plug-in
// through its entry points, then a block run with control values the host set. Input:
// one byte choosing how the host presents the property (the chunk type, another type,
// or no property), the property's bytes (a whole record when there are enough), then
// control port values. Properties: a restore succeeds exactly for a record of ours of
// the chunk type; a refused one changes nothing; whatever the host did, the settings
// saved afterwards are a record of ours within the parameters' ranges, which a new
// instance restores to the same record; the audio stays finite.
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BlockRanges.h"
#include "PortTable.h"
#include "StoredRecord.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

using namespace qz;
using fuzz::Check;

namespace {

constexpr uint32_t kFrames = 256;

// The host's URID map: a URI's number is its place in the list, from 1.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID_Map feature{this, Map};

    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri)
    {
        auto& uris = static_cast<UridMap*>(handle)->uris;
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri)
                return LV2_URID(i + 1);
        uris.push_back(uri);
        return LV2_URID(uris.size());
    }
};

// The one property the host holds, as its store and retrieve functions see it.
struct HostState {
    bool present = false;
    std::vector<uint8_t> value;
    uint32_t type = 0;

    static const void* Retrieve(LV2_State_Handle handle, uint32_t, size_t* size, uint32_t* type, uint32_t* flags)
    {
        auto* state = static_cast<HostState*>(handle);
        if (!state->present)
            return nullptr;
        *size = state->value.size();
        *type = state->type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return state->value.data();
    }
    static LV2_State_Status Store(LV2_State_Handle handle, uint32_t, const void* value, size_t size, uint32_t type,
                                  uint32_t)
    {
        auto* state = static_cast<HostState*>(handle);
        state->present = true;
        state->value.assign(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + size);
        state->type = type;
        return LV2_STATE_SUCCESS;
    }
};

// One instance with its ports connected, as a host runs it.
struct Instance {
    const LV2_Descriptor* descriptor = lv2_descriptor(0);
    UridMap& map;
    LV2_Handle handle;
    const LV2_State_Interface* state;
    float controls[kParamCount];
    float in[2][kFrames], out[2][kFrames], meters[1 + kBandCount + 2];

    explicit Instance(UridMap& urids) : map(urids)
    {
        const LV2_Feature mapFeature{LV2_URID__map, &map.feature};
        const LV2_Feature* features[] = {&mapFeature, nullptr};
        handle = descriptor->instantiate(descriptor, 48000.0, "", features);
        Check(handle != nullptr, "the plug-in starts at 48 kHz");
        state = static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
        for (int p = 0; p < kParamCount; ++p) {
            controls[p] = lv2::ControlPortOf(p).defaultValue;
            descriptor->connect_port(handle, uint32_t(p), &controls[p]);
        }
        const lv2::PortLayout& layout = lv2::kStereoLayout;
        for (int c = 0; c < 2; ++c) {
            descriptor->connect_port(handle, uint32_t(layout.audioIn(c)), in[c]);
            descriptor->connect_port(handle, uint32_t(layout.audioOut(c)), out[c]);
        }
        for (int m = 0; m <= kBandCount + 2; ++m)
            descriptor->connect_port(handle, uint32_t(layout.latency() + m), &meters[m]);
        descriptor->activate(handle);
    }
    ~Instance()
    {
        descriptor->deactivate(handle);
        descriptor->cleanup(handle);
    }

    HostState saved()
    {
        HostState saved;
        Check(state->save(handle, HostState::Store, &saved, 0, nullptr) == LV2_STATE_SUCCESS, "state saves");
        return saved;
    }
    LV2_State_Status restore(HostState& from)
    {
        return state->restore(handle, HostState::Retrieve, &from, 0, nullptr);
    }
};

// The record a save stored: of the chunk type, a record of ours, within the ranges.
void CheckSavedRecord(const HostState& saved, LV2_URID chunkType)
{
    Check(saved.type == chunkType && saved.value.size() == kStoredRecordSize, "the state is a record chunk");
    uint8_t record[kStoredRecordSize];
    std::memcpy(record, saved.value.data(), sizeof record);
    ParamBlock block;
    Check(ReadStoredRecord(record, block), "the saved record is ours");
    fuzz::CheckWithinRanges(block);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    UridMap urids;
    const LV2_URID chunkType = UridMap::Map(&urids, LV2_ATOM__Chunk);
    Instance plugin(urids);
    const HostState before = plugin.saved();

    HostState host;
    host.present = data[0] % 3 != 2;
    host.type = data[0] % 3 == 0 ? chunkType : UridMap::Map(&urids, LV2_ATOM__String);
    const size_t valueSize = std::min<size_t>(size - 1, kStoredRecordSize);
    host.value.assign(data + 1, data + 1 + valueSize);
    ParamBlock block;
    uint8_t record[kStoredRecordSize] = {};
    std::copy(host.value.begin(), host.value.end(), record);
    const bool ours = host.present && host.type == chunkType && valueSize == kStoredRecordSize &&
                      ReadStoredRecord(record, block);
    const LV2_State_Status status = plugin.restore(host);
    Check((status == LV2_STATE_SUCCESS) == ours, "a restore succeeds exactly for a record of ours");
    if (!ours)
        Check(plugin.saved().value == before.value, "a refused state changes nothing");

    // The host moves controls to whatever values follow, NaN and infinities included.
    const uint8_t* values = data + 1 + valueSize;
    const size_t valueCount = std::min<size_t>((size - 1 - valueSize) / sizeof(float), kParamCount);
    for (size_t p = 0; p < valueCount; ++p)
        std::memcpy(&plugin.controls[p], values + p * sizeof(float), sizeof(float));
    for (uint32_t i = 0; i < kFrames; ++i)
        plugin.in[0][i] = plugin.in[1][i] = float(0.9 * std::sin(0.05 * i));
    plugin.descriptor->run(plugin.handle, kFrames);
    for (int c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < kFrames; ++i)
            Check(std::isfinite(plugin.out[c][i]), "the audio stays finite");

    HostState after = plugin.saved();
    CheckSavedRecord(after, chunkType);
    Instance fresh(urids);
    Check(fresh.restore(after) == LV2_STATE_SUCCESS, "a new instance restores what was saved");
    Check(fresh.saved().value == after.value, "and saves the same record");
    return 0;
}
