// Pins of a CBaseFilter: what every pin shares (connection state, identity, media
// type queries), and the two kinds, input pins that receive samples through
// IMemInputPin and output pins that deliver them from a negotiated allocator.
#pragma once

#include "ComPtr.h"
#include "CritSec.h"
#include "MediaType.h"

#include <strmif.h>

#include <atomic>

class CBaseFilter;

// A pin is a part of its filter: it answers its own interfaces but counts its
// references on the filter, and it shares the filter's lock.
class CBasePin : public IPin {
public:
    CBasePin(CBaseFilter* filter, const WCHAR* name, PIN_DIRECTION direction);
    virtual ~CBasePin() = default;
    CBasePin(const CBasePin&) = delete;
    CBasePin& operator=(const CBasePin&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // Needs the filter stopped; S_FALSE when the pin was not connected.
    STDMETHODIMP Disconnect() override;
    // Takes no filter lock: a filter downstream may ask on the streaming thread
    // (a renderer at the end of the stream asks upstream for seeking) while the
    // graph stops this filter under its lock.
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    // S_OK when CheckMediaType accepts the type, else S_FALSE.
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    // The pin's preferred types, as GetMediaType lists them.
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    // Every input of a filter feeds every output: E_NOTIMPL, as the contract allows.
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    // Nothing to do by default: S_OK. Pins that pass segments on override it.
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // S_OK when the pin accepts `type` for a connection.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // The pin's preferred types by position: S_OK, or VFW_S_NO_MORE_ITEMS past the
    // last. By default a pin prefers nothing.
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    // Records the connection's type.
    virtual HRESULT SetMediaType(const CMediaType* type);
    // The other pin must have the other direction.
    virtual HRESULT CheckConnect(IPin* pin);
    // Called when a connection is made (with the type set) and when it ends.
    virtual HRESULT CompleteConnect(IPin* pin);
    virtual HRESULT BreakConnect();
    // The filter leaves (Active) or enters (Inactive) the stopped state; called on
    // connected pins only, under the filter lock.
    virtual HRESULT Active();
    virtual HRESULT Inactive();

    bool IsConnected() const { return static_cast<bool>(m_connected); }
    IPin* GetConnected() const { return m_connected.get(); }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    const WCHAR* Name() const { return m_name; }
    PIN_DIRECTION Direction() const { return m_direction; }

protected:
    // Forgets the connected pin and the type.
    void ClearConnection();
    void SetConnected(IPin* pin);

    CBaseFilter* const m_filter;
    CCritSec* const m_lock;
    const PIN_DIRECTION m_direction;
    WCHAR m_name[MAX_PIN_NAME];
    ComPtr<IPin> m_connected;  // changed by SetConnected only
    CMediaType m_mt;

private:
    // Held only while m_connected changes or ConnectedTo copies it.
    CCritSec m_connectionLock;
};

// An input pin: accepts connections (ReceiveConnection) and samples (IMemInputPin).
// Derived pins do their work in Receive and EndOfStream after calling these, which
// check that the stream may flow.
class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(CBaseFilter* filter, const WCHAR* name);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }

    // Input pins do not start connections: E_UNEXPECTED.
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    // S_OK while samples may flow; end of stream is remembered until a flush or a stop.
    STDMETHODIMP EndOfStream() override;
    // Between the two, samples are refused with S_FALSE.
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    // The allocator recorded by NotifyAllocator, or a new one of our own.
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    // No requirements: E_NOTIMPL, as the contract allows.
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    // S_OK when the sample may be processed: the filter runs or is paused, there is
    // no flush and no end of stream, and a type attached to the sample passes
    // CheckMediaType (VFW_E_INVALIDMEDIATYPE otherwise). The connection keeps its
    // type; a derived pin or filter takes up the new one.
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
    // Derived pins pass samples on synchronously, so they may block.
    STDMETHODIMP ReceiveCanBlock() override;

    HRESULT BreakConnect() override;
    HRESULT Active() override;
    // Decommits the allocator, so that an upstream thread waiting for a buffer wakes.
    HRESULT Inactive() override;

    // The allocator upstream chose, and whether it said its buffers are read-only.
    IMemAllocator* PeekAllocator() const { return m_allocator.get(); }
    bool IsReadOnly() const { return m_readOnly; }
    bool IsFlushing() const { return m_flushing; }

protected:
    HRESULT CheckStreaming();

    ComPtr<IMemAllocator> m_allocator;
    bool m_readOnly = false;
    std::atomic<bool> m_flushing{false};
    std::atomic<bool> m_atEndOfStream{false};
};

// An output pin: starts connections, negotiates an allocator with the input pin it
// connects to, and delivers samples and stream events to it.
class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(CBaseFilter* filter, const WCHAR* name);

    // A complete type is tried alone. Otherwise our preferred types come first, then
    // the receiving pin's, each as far as it matches the partial type given.
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    // Output pins do not receive connections, samples or stream events: E_UNEXPECTED.
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    // Needs IMemInputPin on the other pin.
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    // Commit and decommit the allocator.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Chooses the allocator: the input pin's, else one of our own, sized by
    // DecideBufferSize and announced with NotifyAllocator.
    virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
    // Sets the allocator's properties; `request` holds the input pin's requirements.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

    // A buffer of the allocator, without time stamps or flags; waits for one.
    HRESULT GetDeliveryBuffer(IMediaSample** sample);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    IMemAllocator* PeekAllocator() const { return m_allocator.get(); }

protected:
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType& type);
    HRESULT AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* partial);
    // Sizes `allocator` with DecideBufferSize and announces it to `pin`.
    HRESULT OfferAllocator(IMemInputPin* pin, IMemAllocator* allocator, ALLOCATOR_PROPERTIES request);

    ComPtr<IMemInputPin> m_inputPin;
    ComPtr<IMemAllocator> m_allocator;
};
