#include "SeekingPassThrough.h"

#include <dshow.h>
#include <vfwmsgs.h>

#include <cmath>

namespace {

constexpr double kUnitsPerSecond = 10000000.0;

// Seconds in 100-ns units, rounded; false for NaN and times the units cannot hold.
bool ToUnits(REFTIME seconds, LONGLONG& units)
{
    const double scaled = std::round(seconds * kUnitsPerSecond);
    if (!(std::fabs(scaled) < 9.2e18))
        return false;
    units = static_cast<LONGLONG>(scaled);
    return true;
}

} // namespace

template <typename Method, typename... Args>
HRESULT CSeekingPassThrough::Seeking(Method method, Args... args)
{
    IPin* upstream = nullptr;
    if (m_input == nullptr || FAILED(m_input->ConnectedTo(&upstream)) || upstream == nullptr)
        return VFW_E_NOT_CONNECTED;
    IMediaSeeking* target = nullptr;
    HRESULT hr = upstream->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&target));
    upstream->Release();
    if (FAILED(hr) || target == nullptr)
        return E_NOTIMPL;
    hr = (target->*method)(args...);
    target->Release();
    return hr;
}

template <typename Method>
HRESULT CSeekingPassThrough::SecondsOf(Method method, REFTIME* seconds)
{
    if (seconds == nullptr)
        return E_POINTER;
    LONGLONG units = 0;
    const HRESULT hr = Seeking(method, &units);
    if (SUCCEEDED(hr))
        *seconds = units / kUnitsPerSecond;
    return hr;
}

HRESULT CSeekingPassThrough::SeekTo(REFTIME seconds, bool stop)
{
    LONGLONG units = 0, unchanged = 0;
    if (!ToUnits(seconds, units))
        return E_INVALIDARG;
    if (stop)
        return Seeking(&IMediaSeeking::SetPositions, &unchanged, DWORD(AM_SEEKING_NoPositioning), &units,
                       DWORD(AM_SEEKING_AbsolutePositioning));
    return Seeking(&IMediaSeeking::SetPositions, &units, DWORD(AM_SEEKING_AbsolutePositioning), &unchanged,
                   DWORD(AM_SEEKING_NoPositioning));
}

HRESULT CSeekingPassThrough::Can(DWORD capability, LONG* can)
{
    if (can == nullptr)
        return E_POINTER;
    DWORD capabilities = 0;
    const HRESULT hr = Seeking(&IMediaSeeking::GetCapabilities, &capabilities);
    if (SUCCEEDED(hr))
        *can = (capabilities & capability) != 0 ? OATRUE : OAFALSE;
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
// The pin's IMediaPosition serves the filters of a graph, which call it directly; it
// offers no type information for scripting.

STDMETHODIMP CSeekingPassThrough::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CSeekingPassThrough::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

STDMETHODIMP CSeekingPassThrough::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP CSeekingPassThrough::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CSeekingPassThrough::get_Duration(REFTIME* length) { return SecondsOf(&IMediaSeeking::GetDuration, length); }

STDMETHODIMP CSeekingPassThrough::put_CurrentPosition(REFTIME time) { return SeekTo(time, false); }

STDMETHODIMP CSeekingPassThrough::get_CurrentPosition(REFTIME* time)
{
    return SecondsOf(&IMediaSeeking::GetCurrentPosition, time);
}

STDMETHODIMP CSeekingPassThrough::get_StopTime(REFTIME* time) { return SecondsOf(&IMediaSeeking::GetStopPosition, time); }

STDMETHODIMP CSeekingPassThrough::put_StopTime(REFTIME time) { return SeekTo(time, true); }

STDMETHODIMP CSeekingPassThrough::get_PrerollTime(REFTIME* time) { return SecondsOf(&IMediaSeeking::GetPreroll, time); }

// IMediaSeeking has no way to set a preroll: the source keeps its own.
STDMETHODIMP CSeekingPassThrough::put_PrerollTime(REFTIME) { return E_NOTIMPL; }

STDMETHODIMP CSeekingPassThrough::put_Rate(double rate) { return Seeking(&IMediaSeeking::SetRate, rate); }

STDMETHODIMP CSeekingPassThrough::get_Rate(double* rate) { return Seeking(&IMediaSeeking::GetRate, rate); }

STDMETHODIMP CSeekingPassThrough::CanSeekForward(LONG* can) { return Can(AM_SEEKING_CanSeekForwards, can); }

STDMETHODIMP CSeekingPassThrough::CanSeekBackward(LONG* can) { return Can(AM_SEEKING_CanSeekBackwards, can); }
