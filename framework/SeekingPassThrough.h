// Seeking through a filter that passes its stream on: the interfaces a renderer asks
// of the pin feeding it, IMediaSeeking and IMediaPosition, answered by the pin that
// feeds the filter's input. IMediaSeeking calls are handed on as they are; the older
// IMediaPosition, in seconds, is answered through that pin's IMediaSeeking, since
// sources and parsers seldom offer IMediaPosition themselves. The object lives inside
// the output pin and counts its references there (so on the filter).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>

class CSeekingPassThrough : public IMediaSeeking, public IMediaPosition {
public:
    // owner: the pin that answers the two interfaces; input: the pin whose peer
    // is asked. Calls answer VFW_E_NOT_CONNECTED while the input has no peer, and
    // E_NOTIMPL when the peer has no IMediaSeeking.
    CSeekingPassThrough(IPin* owner, IPin* input) : m_owner(owner), m_input(input) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return m_owner->QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }

    // IMediaSeeking
    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

    // IDispatch, then IMediaPosition
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                        EXCEPINFO* exception, UINT* badArgument) override;
    STDMETHODIMP get_Duration(REFTIME* length) override;
    STDMETHODIMP put_CurrentPosition(REFTIME time) override;
    STDMETHODIMP get_CurrentPosition(REFTIME* time) override;
    STDMETHODIMP get_StopTime(REFTIME* time) override;
    STDMETHODIMP put_StopTime(REFTIME time) override;
    STDMETHODIMP get_PrerollTime(REFTIME* time) override;
    STDMETHODIMP put_PrerollTime(REFTIME time) override;
    STDMETHODIMP put_Rate(double rate) override;
    STDMETHODIMP get_Rate(double* rate) override;
    STDMETHODIMP CanSeekForward(LONG* can) override;
    STDMETHODIMP CanSeekBackward(LONG* can) override;

private:
    // Calls `method` on the upstream pin's IMediaSeeking, without holding any lock of
    // ours: a seek upstream flushes back through this filter.
    template <typename Method, typename... Args>
    HRESULT Seeking(Method method, Args... args);
    // A time upstream reports in 100-ns units (duration, position, ...), in seconds.
    template <typename Method>
    HRESULT SecondsOf(Method method, REFTIME* seconds);
    // Seeks upstream to `seconds`: the current position, or the stop position.
    HRESULT SeekTo(REFTIME seconds, bool stop);
    // Whether upstream has the capability, as OATRUE or OAFALSE.
    HRESULT Can(DWORD capability, LONG* can);

    IPin* const m_owner;
    IPin* const m_input;
};
