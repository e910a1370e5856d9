// Drives one automation object with random sequences of host and editor calls and
// checks its invariants: segment lists stay sorted, values stay in range, nothing
// crashes or leaks (AddressSanitizer runs with libFuzzer).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "BlockRanges.h"
#include "MediaParams.h"
#include "StandaloneEngine.h"

namespace {

using namespace qz;
using fuzz::Check;

// Reads the fuzzer's bytes as a stream of small values.
struct Input {
    const uint8_t* data;
    size_t size;
    template <typename T>
    T take()
    {
        T value{};
        const size_t n = size < sizeof(T) ? size : sizeof(T);
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    StandaloneEngine engine(&CMediaParams::Create);
    CMediaParams& automation = *static_cast<CMediaParams*>(engine.Automation());
    Input in{data, size};
    int64_t position = 0;
    while (in.size > 0) {
        const uint8_t op = in.take<uint8_t>() % 8;
        const DWORD index = in.take<uint8_t>() % 56;  // a few indices past the last
        switch (op) {
        case 0: {
            MP_ENVELOPE_SEGMENT segment{in.take<int32_t>() * 1000LL, in.take<int32_t>() * 1000LL, in.take<float>(),
                                        in.take<float>(), static_cast<MP_CURVE_TYPE>(1u << (in.take<uint8_t>() % 6)), 0};
            automation.AddEnvelope(index == 55 ? 0xFFFFFFFFu : index, 1, &segment);
            break;
        }
        case 1:
            automation.FlushEnvelope(index, in.take<int32_t>() * 1000LL, in.take<int32_t>() * 1000LL);
            break;
        case 2:
            automation.SetParam(index, in.take<float>());
            break;
        case 3: {
            DWORD indices[1] = {index};
            automation.ParamsBeginCapture(indices, 1);
            break;
        }
        case 4: {
            DWORD indices[1] = {index};
            automation.ParamsEndCapture(indices, 1);
            break;
        }
        case 5:
            position += in.take<uint16_t>();
            automation.UpdateToSample(position);
            break;
        case 6:
            engine.SetGain(in.take<int16_t>(), static_cast<LONG>(index % 6), in.take<uint8_t>() & 1);
            break;
        case 7:
            engine.SetCaptureMode(FALSE, in.take<uint8_t>() & 1);
            engine.EndCapture();
            break;
        }
    }
    for (int p = 0; p < kParamCount; ++p) {
        const std::vector<MP_ENVELOPE_SEGMENT> segments = automation.Envelope(p).Segments();
        for (size_t k = 1; k < segments.size(); ++k)
            Check(segments[k - 1].rtStart <= segments[k].rtStart, "segments sorted by start");
        const MP_DATA value = automation.Envelope(p).CurrentValue();
        Check(value >= 0.0f && value <= 1.0f, "envelope values within 0..1");
    }
    engine.PullAutomation();
    ParamBlock block;
    engine.GetParamBlock(&block);
    fuzz::CheckWithinRanges(block);
    return 0;
}
