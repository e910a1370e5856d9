#pragma once
// Test doubles for the engine's surroundings: an automation object that records what
// the engine tells it, a concrete engine with the filter's part reduced to reference
// counting, and windows that collect the notifications posted to them.

#include <vector>

#include "StandaloneEngine.h"

namespace qz::test {

// One call the engine made on its automation object.
struct AutomationCall {
    enum Kind { SetParam, BeginCapture, Changed, EndCapture } kind;
    DWORD index;
    float value;  // SetParam and Changed only

    bool operator==(const AutomationCall& o) const
    {
        return kind == o.kind && index == o.index && (kind == BeginCapture || kind == EndCapture || value == o.value);
    }
};

std::ostream& operator<<(std::ostream& out, const AutomationCall& call);

// Records SetParam and the gesture calls; serves CurrentValue from values a test sets
// (parameters a test never set report the last value the engine sent).
class RecordingAutomation final : public IEngineAutomation, public IMediaParamsUICallback {
public:
    std::vector<AutomationCall> calls;
    std::vector<int64_t> updatePositions;
    float current[kParamCount] = {};
    bool changed = false;
    LONG references = 1;
    LONG sampleRate = 44100;

    static HRESULT Create(IEngineAutomation** automation, ITqPlugInProp* owner);
    static RecordingAutomation* Of(CAudioTransform& engine)
    {
        return static_cast<RecordingAutomation*>(engine.Automation());
    }

    // IUnknown (shared by both tables)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override;
    // IMediaParams
    HRESULT STDMETHODCALLTYPE GetParam(DWORD index, MP_DATA* value) override;
    HRESULT STDMETHODCALLTYPE SetParam(DWORD index, MP_DATA value) override;
    HRESULT STDMETHODCALLTYPE AddEnvelope(DWORD, DWORD, MP_ENVELOPE_SEGMENT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FlushEnvelope(DWORD, REFERENCE_TIME, REFERENCE_TIME) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTimeFormat(GUID, MP_TIMEDATA) override { return E_NOTIMPL; }
    // IEngineAutomation
    HRESULT STDMETHODCALLTYPE TestAndClearChanged() override;
    HRESULT STDMETHODCALLTYPE MarkChanged() override;
    MP_DATA CurrentValue(int paramIndex) override { return current[paramIndex]; }
    HRESULT UpdateToSample(int64_t position) override;
    IMediaParamsUICallback* GestureSink() override { return this; }
    void SetSampleRate(LONG rate) override { sampleRate = rate; }
    void DetachOwner() override {}
    // IMediaParamsUICallback
    HRESULT STDMETHODCALLTYPE ParamsBeginCapture(DWORD* indices, DWORD count) override;
    HRESULT STDMETHODCALLTYPE ParamsChanged(DWORD* indices, DWORD count, MP_DATA* values) override;
    HRESULT STDMETHODCALLTYPE ParamsEndCapture(DWORD* indices, DWORD count) override;

    // The calls recorded since the last take, then forgets them.
    std::vector<AutomationCall> take();
};

// The engine with a recording automation object, or without one.
class TestEngine : public StandaloneEngine {
public:
    explicit TestEngine(bool withAutomation = true, HRESULT* result = nullptr)
        : StandaloneEngine(withAutomation ? &RecordingAutomation::Create : nullptr, result)
    {
    }

    RecordingAutomation& automation() { return *RecordingAutomation::Of(*this); }
};

// Wave formats of the accepted kinds.
WAVEFORMATEX MakeFormat(WORD formatTag, WORD bitsPerSample, WORD channels, DWORD rate = 44100);

// A window that collects the WM_COMMAND messages posted to it: a real message-only
// window on Windows, a registered stand-in elsewhere.
class TestWindow {
public:
    TestWindow();
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND handle() const { return m_window; }
    // The wParams of the WM_COMMAND messages posted since the last call.
    std::vector<WPARAM> takeCommands();
    void destroy();

private:
    HWND m_window;
};

} // namespace qz::test
