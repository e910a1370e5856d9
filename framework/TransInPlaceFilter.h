// An in-place transform filter: one input pin "Input" and one output pin "Output"
// with the same media type, and samples changed in their own buffers and passed on.
//
// A derived filter says which types it takes (CheckInputType, asked for both pins),
// learns the connected type (SetMediaType), starts and stops its stream
// (StartStreaming when the filter leaves the stopped state, StopStreaming when it
// enters it, both under the filter lock and the receive lock) and transforms samples
// (Transform) on the streaming thread under the receive lock.
//
// Allocators: the upstream allocator is passed on to the downstream pin, so one
// buffer travels the whole way. When the upstream buffers are read-only (and the
// filter modifies data) or the downstream pin insists on its own allocator, the
// output pin uses a separate allocator and Receive works on a copy.
#pragma once

#include "BaseFilter.h"
#include "Pins.h"
#include "SeekingPassThrough.h"

class CTransInPlaceFilter;

class CTransInPlaceInputPin : public CBaseInputPin {
public:
    explicit CTransInPlaceInputPin(CTransInPlaceFilter* filter);

    // The filter's CheckInputType; once the output is connected, its peer must
    // accept the type too, since the output carries the same format.
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;

    // Refuses an allocator whose buffers are smaller than the filter's minimum.
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    // The filter's Receive and EndOfStream, under the receive lock.
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP EndOfStream() override;
    // Flushes and segments go on downstream through the filter.
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    CTransInPlaceFilter* const m_transform;
};

class CTransInPlaceOutputPin : public CBaseOutputPin {
public:
    explicit CTransInPlaceOutputPin(CTransInPlaceFilter* filter);

    // IMediaSeeking and IMediaPosition too: seeking passes upstream, as a renderer
    // downstream expects of a filter between it and the source.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;

    // Needs the input connected: CheckInputType, then CheckTransform against the
    // input's type.
    HRESULT CheckMediaType(const CMediaType* type) override;
    // The input's type, once the input is connected.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;

    // The upstream allocator when it may be written to (or the filter does not
    // write) and the downstream pin takes it; else the usual choice.
    HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
    // Buffers large enough for a copy of every upstream buffer, and never smaller
    // than the filter's minimum.
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // The allocator is committed here only when it is not the upstream one, which
    // belongs to the upstream output pin.
    HRESULT Active() override;
    HRESULT Inactive() override;

    bool UsesUpstreamAllocator() const;

private:
    CTransInPlaceFilter* const m_transform;
    CSeekingPassThrough m_seeking;
};

class CTransInPlaceFilter : public CBaseFilter {
public:
    // `modifiesData`: Transform writes into the buffers, so read-only upstream
    // buffers must be copied first. Pin creation failures are stored in *result.
    CTransInPlaceFilter(LPUNKNOWN outer, REFCLSID clsid, HRESULT* result, bool modifiesData = true);
    ~CTransInPlaceFilter() override;

    int GetPinCount() override;
    CBasePin* GetPin(int index) override;

    // StopStreaming after the pins are inactive; StartStreaming when leaving stopped.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;

    // S_OK when the filter processes streams of this type (either pin).
    virtual HRESULT CheckInputType(const CMediaType* type) = 0;
    // S_OK when the output may carry `output` while the input carries `input`.
    virtual HRESULT CheckTransform(const CMediaType* input, const CMediaType* output);
    // The smallest buffer, in bytes, worth a sample of the connected type.
    virtual LONG MinimumBufferSize();
    // A pin's connection type was set.
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* type);
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    // One sample from upstream: Transform (on a writable copy when needed), then
    // deliver unless Transform answered S_FALSE. A failure is returned upstream.
    virtual HRESULT Receive(IMediaSample* sample);
    // Passes the end of stream downstream.
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    // Changes the sample's data in place: S_OK to deliver it, S_FALSE to drop it.
    virtual HRESULT Transform(IMediaSample* sample) = 0;

    CTransInPlaceInputPin* InputPin() const { return m_input; }
    CTransInPlaceOutputPin* OutputPin() const { return m_output; }
    // The input connection's type (invalid while the input is not connected).
    const CMediaType& ConnectionMediaType() const { return m_input->CurrentMediaType(); }
    // Upstream announced its buffers as read-only (IMemInputPin::NotifyAllocator).
    bool IsUpstreamReadOnly() const { return m_input->IsReadOnly(); }
    bool ModifiesData() const { return m_modifiesData; }
    // A sample of the output pin's allocator holding the data, length, times, flags
    // and type of `source`.
    HRESULT Copy(IMediaSample* source, IMediaSample** copy);

protected:
    friend class CTransInPlaceInputPin;

    // Held by the streaming thread around Receive and EndOfStream.
    CCritSec m_csReceive;

private:
    CTransInPlaceInputPin* m_input = nullptr;
    CTransInPlaceOutputPin* m_output = nullptr;
    const bool m_modifiesData;
};
