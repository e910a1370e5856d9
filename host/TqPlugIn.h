// CTqPlugIn: the filter a host creates from this server. It is the in-place audio
// transform filter, the dynamics engine (whose ITqPlugInProp the editor uses), the
// persistence object, the holder of the automation object, and the source of two
// built-in presets.
#pragma once

#include "CAudioTransform.h"
#include "TransInPlaceFilter.h"
#include "media_params.h"

#include <ocidl.h>

#include <atomic>

class CTqPlugIn : public CTransInPlaceFilter,
                  public qz::CAudioTransform,
                  public ISpecifyPropertyPages,
                  public IPersistStream,
                  public IStaticFilterPreset {
public:
    // The factory's creation function.
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* result);
    // The registration record: "Tavelin:qz Multiband", its two audio pins.
    static const AMOVIESETUP_FILTER& SetupRecord();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // --- The in-place transform filter ---
    HRESULT CheckInputType(const CMediaType* type) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // A flush discards what the engine holds; a segment says where the stamps of
    // the samples after it lie in the media, for the automation's time.
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // One frame of the connected format.
    LONG MinimumBufferSize() override;
    HRESULT Transform(IMediaSample* sample) override;
    const AMOVIESETUP_FILTER* GetSetupData() override { return &SetupRecord(); }

    // --- ITqPlugInProp: the part the filter supplies ---
    STDMETHODIMP IsProcessing() override;

    // --- ISpecifyPropertyPages ---
    STDMETHODIMP GetPages(CAUUID* pages) override;

    // --- IPersist / IPersistStream: the 240-byte record ---
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* stream) override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;

    // --- IStaticFilterPreset ---
    STDMETHODIMP GetPresetCount(LONG* count) override;
    STDMETHODIMP GetPresetName(LONG index, WCHAR* name, LONG length) override;
    STDMETHODIMP ApplyPreset(LONG index) override;

private:
    CTqPlugIn(LPUNKNOWN outer, HRESULT* result);

    // A sample's connection type when it carries a new one: taken like SetMediaType
    // when acceptable, else the sample is refused.
    HRESULT TakeAttachedMediaType(IMediaSample* sample);

    // Written under the framework's filter and receive locks (connection, state
    // changes, the streaming thread); read without a lock by IsProcessing.
    WAVEFORMATEX m_streamFormat{};
    bool m_flushing = false;                // the end-of-stream flush is under way
    bool m_firstSample = false;             // the next sample starts a stream
    // The current segment (NewSegment), under its own lock: a segment may be
    // announced from any thread, and must never wait for a sample in progress.
    CCritSec m_segmentLock;
    REFERENCE_TIME m_segmentStart = 0;
    double m_segmentRate = 1.0;
    std::atomic<bool> m_audioSeen{false};   // a sample was processed since start or flush
};
