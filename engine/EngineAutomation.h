#pragma once
// What the engine needs of its automation object: the host-facing IMediaParams, plus
// the operations only the engine and its filter call.

#include "ITqPlugInProp.h"
#include "media_params.h"

namespace qz {

struct IEngineAutomation : public IMediaParams {
    // S_OK once after any parameter was set or automation moved; S_FALSE otherwise.
    virtual HRESULT STDMETHODCALLTYPE TestAndClearChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE MarkChanged() = 0;

    // The value in force for a parameter (normalized 0..1).
    virtual MP_DATA CurrentValue(int paramIndex) = 0;
    // Brings every envelope to the stream's sample position.
    virtual HRESULT UpdateToSample(int64_t position) = 0;
    // The object's own gesture interface; not counted.
    virtual IMediaParamsUICallback* GestureSink() = 0;
    // The stream's sample rate, for converting between sample positions and times.
    virtual void SetSampleRate(LONG samplesPerSecond) = 0;
    // The owner is going away: QueryInterface must no longer reach it.
    virtual void DetachOwner() = 0;

protected:
    ~IEngineAutomation() = default;
};

// Creates the automation object for an engine, with one reference for the caller.
using AutomationFactory = HRESULT (*)(IEngineAutomation** automation, ITqPlugInProp* owner);

} // namespace qz
