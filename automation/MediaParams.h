#pragma once
// The automation object: through it a host reads, sets and automates the 53 parameters
// with the DirectX media-parameter interfaces, and editor gestures reach the host's
// callback for recording. It owns one envelope per parameter, keeps a reference count
// of its own and answers QueryInterface through the filter that owns it, so a host
// reaches every interface of the filter from any of its interfaces.

#include <atomic>

#include "EngineAutomation.h"
#include "ParamEnvelope.h"

namespace qz {

class CMediaParams final : public IEngineAutomation,
                           public IMediaParamInfo,
                           public IMediaParamsSetUICallback,
                           public IMediaParamsUICallback {
public:
    // Creates the object with one reference for the caller. owner: the filter's
    // interface that QueryInterface is delegated to (not counted).
    static HRESULT Create(IEngineAutomation** object, ITqPlugInProp* owner);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IMediaParams
    HRESULT STDMETHODCALLTYPE GetParam(DWORD index, MP_DATA* value) override;
    HRESULT STDMETHODCALLTYPE SetParam(DWORD index, MP_DATA value) override;
    HRESULT STDMETHODCALLTYPE AddEnvelope(DWORD index, DWORD count, MP_ENVELOPE_SEGMENT* segments) override;
    HRESULT STDMETHODCALLTYPE FlushEnvelope(DWORD index, REFERENCE_TIME start, REFERENCE_TIME end) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(GUID format, MP_TIMEDATA timeData) override;
    // IEngineAutomation
    HRESULT STDMETHODCALLTYPE TestAndClearChanged() override;
    HRESULT STDMETHODCALLTYPE MarkChanged() override;
    MP_DATA CurrentValue(int paramIndex) override { return m_envelopes[paramIndex].CurrentValue(); }
    HRESULT UpdateToSample(int64_t position) override;
    IMediaParamsUICallback* GestureSink() override { return this; }
    void SetSampleRate(LONG samplesPerSecond) override;
    void DetachOwner() override;
    // IMediaParamInfo
    HRESULT STDMETHODCALLTYPE GetParamCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetParamInfo(DWORD index, MP_PARAMINFO* info) override;
    HRESULT STDMETHODCALLTYPE GetParamText(DWORD index, WCHAR** text) override;
    HRESULT STDMETHODCALLTYPE GetNumTimeFormats(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetSupportedTimeFormat(DWORD index, GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetCurrentTimeFormat(GUID* format, MP_TIMEDATA* timeData) override;
    // IMediaParamsSetUICallback
    HRESULT STDMETHODCALLTYPE SetUICallback(IMediaParamsUICallback* callback) override;
    // IMediaParamsUICallback: gestures from the engine, relayed to the host
    HRESULT STDMETHODCALLTYPE ParamsBeginCapture(DWORD* indices, DWORD count) override;
    HRESULT STDMETHODCALLTYPE ParamsChanged(DWORD* indices, DWORD count, MP_DATA* values) override;
    HRESULT STDMETHODCALLTYPE ParamsEndCapture(DWORD* indices, DWORD count) override;

    CParamEnvelope& Envelope(int paramIndex) { return m_envelopes[paramIndex]; }
    LONG SampleRate() const { return m_sampleRate; }

private:
    explicit CMediaParams(ITqPlugInProp* owner);
    ~CMediaParams();

    double TimeFactor() const { return m_sampleRate / 10000000.0; }
    // The host callback with a reference for the caller (null when none is set), so
    // that replacing it never frees it under a relay in progress.
    IMediaParamsUICallback* HostCallback();
    void SetCapturedFlags(const DWORD* indices, DWORD count, bool captured);

    std::atomic<LONG> m_references{1};
    RecursiveLock m_ownerLock;            // guards m_owner against DetachOwner
    ITqPlugInProp* m_owner;
    RecursiveLock m_callbackLock;         // guards m_hostCallback
    IMediaParamsUICallback* m_hostCallback = nullptr;
    std::atomic<LONG> m_sampleRate{44100};
    std::atomic<bool> m_changed{false};
    CParamEnvelope m_envelopes[kParamCount];
};

} // namespace qz
