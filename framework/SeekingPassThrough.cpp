#include "SeekingPassThrough.h"

#include <vfwmsgs.h>

template <typename Interface, typename Method, typename... Args>
HRESULT CSeekingPassThrough::Forward(REFIID iid, Method method, Args... args)
{
    IPin* upstream = nullptr;
    if (m_input == nullptr || FAILED(m_input->ConnectedTo(&upstream)) || upstream == nullptr)
        return VFW_E_NOT_CONNECTED;
    Interface* target = nullptr;
    HRESULT hr = upstream->QueryInterface(iid, reinterpret_cast<void**>(&target));
    upstream->Release();
    if (FAILED(hr) || target == nullptr)
        return E_NOTIMPL;
    hr = (target->*method)(args...);
    target->Release();
    return hr;
}

// --- IMediaSeeking ----------------------------------------------------------------

STDMETHODIMP CSeekingPassThrough::GetCapabilities(DWORD* capabilities)
{
    return Seeking(&IMediaSeeking::GetCapabilities, capabilities);
}

STDMETHODIMP CSeekingPassThrough::CheckCapabilities(DWORD* capabilities)
{
    return Seeking(&IMediaSeeking::CheckCapabilities, capabilities);
}

STDMETHODIMP CSeekingPassThrough::IsFormatSupported(const GUID* format)
{
    return Seeking(&IMediaSeeking::IsFormatSupported, format);
}

STDMETHODIMP CSeekingPassThrough::QueryPreferredFormat(GUID* format)
{
    return Seeking(&IMediaSeeking::QueryPreferredFormat, format);
}

STDMETHODIMP CSeekingPassThrough::GetTimeFormat(GUID* format) { return Seeking(&IMediaSeeking::GetTimeFormat, format); }

STDMETHODIMP CSeekingPassThrough::IsUsingTimeFormat(const GUID* format)
{
    return Seeking(&IMediaSeeking::IsUsingTimeFormat, format);
}

STDMETHODIMP CSeekingPassThrough::SetTimeFormat(const GUID* format) { return Seeking(&IMediaSeeking::SetTimeFormat, format); }

STDMETHODIMP CSeekingPassThrough::GetDuration(LONGLONG* duration) { return Seeking(&IMediaSeeking::GetDuration, duration); }

STDMETHODIMP CSeekingPassThrough::GetStopPosition(LONGLONG* stop) { return Seeking(&IMediaSeeking::GetStopPosition, stop); }

STDMETHODIMP CSeekingPassThrough::GetCurrentPosition(LONGLONG* current)
{
    return Seeking(&IMediaSeeking::GetCurrentPosition, current);
}

STDMETHODIMP CSeekingPassThrough::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                    const GUID* sourceFormat)
{
    return Seeking(&IMediaSeeking::ConvertTimeFormat, target, targetFormat, source, sourceFormat);
}

STDMETHODIMP CSeekingPassThrough::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags)
{
    return Seeking(&IMediaSeeking::SetPositions, current, currentFlags, stop, stopFlags);
}

STDMETHODIMP CSeekingPassThrough::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    return Seeking(&IMediaSeeking::GetPositions, current, stop);
}

STDMETHODIMP CSeekingPassThrough::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    return Seeking(&IMediaSeeking::GetAvailable, earliest, latest);
}

STDMETHODIMP CSeekingPassThrough::SetRate(double rate) { return Seeking(&IMediaSeeking::SetRate, rate); }

STDMETHODIMP CSeekingPassThrough::GetRate(double* rate) { return Seeking(&IMediaSeeking::GetRate, rate); }

STDMETHODIMP CSeekingPassThrough::GetPreroll(LONGLONG* preroll) { return Seeking(&IMediaSeeking::GetPreroll, preroll); }

// --- IDispatch and IMediaPosition ---------------------------------------------------

STDMETHODIMP CSeekingPassThrough::GetTypeInfoCount(UINT* count) { return Position(&IMediaPosition::GetTypeInfoCount, count); }

STDMETHODIMP CSeekingPassThrough::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info)
{
    return Position(&IMediaPosition::GetTypeInfo, index, locale, info);
}

STDMETHODIMP CSeekingPassThrough::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids)
{
    return Position(&IMediaPosition::GetIDsOfNames, iid, names, count, locale, ids);
}

STDMETHODIMP CSeekingPassThrough::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                         VARIANT* result, EXCEPINFO* exception, UINT* badArgument)
{
    return Position(&IMediaPosition::Invoke, id, iid, locale, flags, parameters, result, exception, badArgument);
}

STDMETHODIMP CSeekingPassThrough::get_Duration(REFTIME* length) { return Position(&IMediaPosition::get_Duration, length); }

STDMETHODIMP CSeekingPassThrough::put_CurrentPosition(REFTIME time)
{
    return Position(&IMediaPosition::put_CurrentPosition, time);
}

STDMETHODIMP CSeekingPassThrough::get_CurrentPosition(REFTIME* time)
{
    return Position(&IMediaPosition::get_CurrentPosition, time);
}

STDMETHODIMP CSeekingPassThrough::get_StopTime(REFTIME* time) { return Position(&IMediaPosition::get_StopTime, time); }

STDMETHODIMP CSeekingPassThrough::put_StopTime(REFTIME time) { return Position(&IMediaPosition::put_StopTime, time); }

STDMETHODIMP CSeekingPassThrough::get_PrerollTime(REFTIME* time) { return Position(&IMediaPosition::get_PrerollTime, time); }

STDMETHODIMP CSeekingPassThrough::put_PrerollTime(REFTIME time) { return Position(&IMediaPosition::put_PrerollTime, time); }

STDMETHODIMP CSeekingPassThrough::put_Rate(double rate) { return Position(&IMediaPosition::put_Rate, rate); }

STDMETHODIMP CSeekingPassThrough::get_Rate(double* rate) { return Position(&IMediaPosition::get_Rate, rate); }

STDMETHODIMP CSeekingPassThrough::CanSeekForward(LONG* can) { return Position(&IMediaPosition::CanSeekForward, can); }

STDMETHODIMP CSeekingPassThrough::CanSeekBackward(LONG* can) { return Position(&IMediaPosition::CanSeekBackward, can); }
