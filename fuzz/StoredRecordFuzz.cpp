// The record a host hands back from its project, read as the filter's Load reads it:
// the header checked, the block taken, the block applied to the engine. Properties:
// the engine's parameters end within their ranges whatever the record held, a record
// of another filter changes nothing, and saving what was loaded then loading that
// gives the same parameters again.
#include <cstdint>
#include <cstring>

#include "BlockRanges.h"
#include "StandaloneEngine.h"
#include "StoredRecord.h"

using namespace qz;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kStoredRecordSize)
        return 0; // Load refuses a stream that ends inside the record before reading on
    // The engine as a new filter holds it.
    StandaloneEngine engine;
    const ParamBlock defaults = DefaultParamBlock();
    engine.ApplyParamBlock(&defaults);
    ParamBlock before;
    engine.GetParamBlock(&before);

    uint8_t header[kStoredHeaderSize];
    uint8_t bytes[kStoredBlockSize];
    std::memcpy(header, data, sizeof header);
    std::memcpy(bytes, data + sizeof header, sizeof bytes);
    ParamBlock loaded;
    if (!IsStoredHeader(header)) {
        engine.GetParamBlock(&loaded);
        Check(loaded == before, "a record of another filter changes nothing");
        return 0;
    }
    const ParamBlock block = ReadStoredBlock(bytes);
    Check(engine.ApplyParamBlock(&block) == S_OK, "a record of ours applies");
    engine.GetParamBlock(&loaded);
    fuzz::CheckWithinRanges(loaded);

    uint8_t saved[kStoredBlockSize];
    WriteStoredBlock(loaded, saved);
    const ParamBlock again = ReadStoredBlock(saved);
    Check(engine.ApplyParamBlock(&again) == S_OK, "a saved record applies");
    ParamBlock reloaded;
    engine.GetParamBlock(&reloaded);
    Check(reloaded == loaded, "a saved record loads as it was saved");
    return 0;
}
