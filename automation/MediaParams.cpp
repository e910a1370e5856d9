#include "MediaParams.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "qz_guids.h"

namespace qz {

namespace {

constexpr DWORD kAllParams = 0xFFFFFFFFu;

bool ValidIndex(DWORD index) { return index < static_cast<DWORD>(kParamCount); }

} // namespace

HRESULT CMediaParams::Create(IEngineAutomation** object, ITqPlugInProp* owner)
{
    if (object == nullptr || owner == nullptr)
        return E_POINTER;
    *object = nullptr;
    CMediaParams* created = new (std::nothrow) CMediaParams(owner);
    if (created == nullptr)
        return E_OUTOFMEMORY;
    *object = created;
    return S_OK;
}

CMediaParams::CMediaParams(ITqPlugInProp* owner) : m_owner(owner)
{
    for (int p = 0; p < kParamCount; ++p)
        m_envelopes[p].Init(ParamInfo(p));
    ModuleObjectCreated();
}

CMediaParams::~CMediaParams()
{
    if (m_hostCallback != nullptr)
        m_hostCallback->Release();
    ModuleObjectDestroyed();
}

// --- IUnknown ---------------------------------------------------------------------

HRESULT CMediaParams::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    {
        // While the filter lives, every request goes to it: the same IUnknown from
        // every interface, and the filter's other interfaces too.
        LockGuard hold(m_ownerLock);
        if (m_owner != nullptr)
            return m_owner->QueryInterface(iid, object);
    }
    // Once it is gone, the object still answers for itself.
    if (iid == kIID_IMediaParams || iid == kIID_IUnknown)
        *object = static_cast<IMediaParams*>(this);
    else if (iid == kIID_IMediaParamInfo)
        *object = static_cast<IMediaParamInfo*>(this);
    else if (iid == kIID_IMediaParamsSetUICallback)
        *object = static_cast<IMediaParamsSetUICallback*>(this);
    else if (iid == kIID_IMediaParamsUICallback)
        *object = static_cast<IMediaParamsUICallback*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CMediaParams::AddRef() { return static_cast<ULONG>(++m_references); }

ULONG CMediaParams::Release()
{
    const LONG left = --m_references;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

void CMediaParams::DetachOwner()
{
    LockGuard hold(m_ownerLock);
    m_owner = nullptr;
}

// --- IMediaParams -----------------------------------------------------------------

HRESULT CMediaParams::GetParam(DWORD index, MP_DATA* value)
{
    if (!ValidIndex(index))
        return E_INVALIDARG;
    if (value == nullptr)
        return E_POINTER;
    *value = m_envelopes[index].GetValue();
    return S_OK;
}

HRESULT CMediaParams::SetParam(DWORD index, MP_DATA value)
{
    if (!ValidIndex(index))
        return E_INVALIDARG;
    m_changed = true;
    return m_envelopes[index].SetValue(value);
}

HRESULT CMediaParams::AddEnvelope(DWORD index, DWORD count, MP_ENVELOPE_SEGMENT* segments)
{
    if (!ValidIndex(index) && index != kAllParams)
        return E_INVALIDARG;
    if (count == 0)
        return S_OK;
    if (segments == nullptr)
        return E_POINTER;
    // A count beyond what an envelope can store is refused before the array is looked
    // at; every byte of a smaller one must be readable before the first is read.
    if (count > CParamEnvelope::kMaxSegments)
        return E_OUTOFMEMORY;
    if (!IsReadableMemory(segments, count * sizeof(MP_ENVELOPE_SEGMENT)))
        return E_POINTER;
    const double factor = TimeFactor();
    if (index != kAllParams)
        return m_envelopes[index].AddSegments(count, segments, factor);
    for (CParamEnvelope& envelope : m_envelopes) {
        const HRESULT hr = envelope.AddSegments(count, segments, factor);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CMediaParams::FlushEnvelope(DWORD index, REFERENCE_TIME start, REFERENCE_TIME end)
{
    if (!ValidIndex(index) && index != kAllParams)
        return E_INVALIDARG;
    if (start > end)
        return E_INVALIDARG;
    const double factor = TimeFactor();
    for (int p = 0; p < kParamCount; ++p) {
        if (index != kAllParams && static_cast<DWORD>(p) != index)
            continue;
        const HRESULT hr = m_envelopes[p].FlushSegments(start, end, factor);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CMediaParams::SetTimeFormat(GUID format, MP_TIMEDATA)
{
    return format == kTimeFormatReferenceTime ? S_OK : E_INVALIDARG;
}

// --- For the engine and the filter ------------------------------------------------

HRESULT CMediaParams::TestAndClearChanged() { return m_changed.exchange(false) ? S_OK : S_FALSE; }

HRESULT CMediaParams::MarkChanged()
{
    m_changed = true;
    return S_OK;
}

void CMediaParams::SetSampleRate(LONG samplesPerSecond)
{
    if (samplesPerSecond > 0)
        m_sampleRate = samplesPerSecond;
}

HRESULT CMediaParams::UpdateToSample(int64_t position)
{
    // The time of the sample position, to the nearest 100 ns.
    const double t = std::trunc(static_cast<double>(position) / TimeFactor() + 0.5);
    const REFERENCE_TIME time = t >= 9.2233720368547758e18    ? std::numeric_limits<REFERENCE_TIME>::max()
                                : t <= -9.2233720368547758e18 ? std::numeric_limits<REFERENCE_TIME>::min()
                                                              : static_cast<REFERENCE_TIME>(t);
    HRESULT result = S_FALSE;
    bool anyMoved = false;
    for (CParamEnvelope& envelope : m_envelopes) {
        bool moved = false;
        result = envelope.UpdateToTime(time, moved);
        if (FAILED(result))
            return result;
        anyMoved = anyMoved || moved;
    }
    // Only a pass that moved a value is a change: every recomputation restarts the
    // bands' slow followers, so marking every pass would tie the sound to buffer sizes.
    if (anyMoved)
        MarkChanged();
    return result;
}

// --- IMediaParamInfo --------------------------------------------------------------

HRESULT CMediaParams::GetParamCount(DWORD* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = kParamCount;
    return S_OK;
}

HRESULT CMediaParams::GetParamInfo(DWORD index, MP_PARAMINFO* info)
{
    if (!ValidIndex(index))
        return E_INVALIDARG;
    if (!IsWritableMemory(info, sizeof(MP_PARAMINFO)))
        return E_POINTER;
    std::memcpy(info, &ParamInfo(static_cast<int>(index)).info, sizeof(MP_PARAMINFO));
    return S_OK;
}

HRESULT CMediaParams::GetParamText(DWORD index, WCHAR** text)
{
    if (!ValidIndex(index))
        return E_INVALIDARG;
    if (text == nullptr)
        return E_POINTER;
    // Label, unit, then the enumeration's names (its commas become separators), each
    // ending in a zero, and one more zero to close the list.
    const ParamInfoRecord& record = ParamInfo(static_cast<int>(index));
    auto length = [](const WCHAR* s) {
        size_t n = 0;
        while (s != nullptr && s[n] != 0)
            ++n;
        return n;
    };
    const size_t label = length(record.info.szLabel), unit = length(record.info.szUnitText);
    const size_t names = length(record.enumText);
    const size_t total = label + 1 + unit + 1 + (names > 0 ? names + 1 : 0) + 1;
    WCHAR* out = static_cast<WCHAR*>(CoTaskMemAlloc(total * sizeof(WCHAR)));
    if (out == nullptr)
        return E_OUTOFMEMORY;
    WCHAR* p = out;
    for (size_t i = 0; i < label; ++i)
        *p++ = record.info.szLabel[i];
    *p++ = 0;
    for (size_t i = 0; i < unit; ++i)
        *p++ = record.info.szUnitText[i];
    *p++ = 0;
    if (names > 0) {
        for (size_t i = 0; i < names; ++i)
            *p++ = record.enumText[i] == u',' ? 0 : record.enumText[i];
        *p++ = 0;
    }
    *p = 0;
    *text = out;
    return S_OK;
}

HRESULT CMediaParams::GetNumTimeFormats(DWORD* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CMediaParams::GetSupportedTimeFormat(DWORD index, GUID* format)
{
    if (format == nullptr)
        return E_POINTER;
    if (index != 0)
        return E_INVALIDARG;
    *format = kTimeFormatReferenceTime;
    return S_OK;
}

HRESULT CMediaParams::GetCurrentTimeFormat(GUID* format, MP_TIMEDATA*)
{
    if (format == nullptr)
        return E_POINTER;
    *format = kTimeFormatReferenceTime;
    return S_OK;
}

// --- Editor gestures --------------------------------------------------------------

HRESULT CMediaParams::SetUICallback(IMediaParamsUICallback* callback)
{
    if (callback != nullptr)
        callback->AddRef();
    IMediaParamsUICallback* previous;
    {
        LockGuard hold(m_callbackLock);
        previous = m_hostCallback;
        m_hostCallback = callback;
    }
    if (previous != nullptr)
        previous->Release();
    return S_OK;
}

IMediaParamsUICallback* CMediaParams::HostCallback()
{
    LockGuard hold(m_callbackLock);
    if (m_hostCallback != nullptr)
        m_hostCallback->AddRef();
    return m_hostCallback;
}

void CMediaParams::SetCapturedFlags(const DWORD* indices, DWORD count, bool captured)
{
    for (DWORD i = 0; i < count; ++i)
        if (ValidIndex(indices[i]))  // other indices never reach an envelope
            m_envelopes[indices[i]].SetCaptured(captured);
}

HRESULT CMediaParams::ParamsBeginCapture(DWORD* indices, DWORD count)
{
    if (indices == nullptr && count > 0)
        return E_POINTER;
    SetCapturedFlags(indices, count, true);
    IMediaParamsUICallback* host = HostCallback();
    if (host == nullptr)
        return S_OK;
    const HRESULT hr = host->ParamsBeginCapture(indices, count);
    host->Release();
    return hr;
}

HRESULT CMediaParams::ParamsChanged(DWORD* indices, DWORD count, MP_DATA* values)
{
    if ((indices == nullptr || values == nullptr) && count > 0)
        return E_POINTER;
    HRESULT hr = S_OK;
    for (DWORD i = 0; i < count; ++i) {
        hr = SetParam(indices[i], values[i]);
        if (FAILED(hr))
            return hr;
    }
    IMediaParamsUICallback* host = HostCallback();
    if (host == nullptr)
        return hr;
    hr = host->ParamsChanged(indices, count, values);
    host->Release();
    return hr;
}

HRESULT CMediaParams::ParamsEndCapture(DWORD* indices, DWORD count)
{
    if (indices == nullptr && count > 0)
        return E_POINTER;
    SetCapturedFlags(indices, count, false);
    IMediaParamsUICallback* host = HostCallback();
    if (host == nullptr)
        return S_OK;
    const HRESULT hr = host->ParamsEndCapture(indices, count);
    host->Release();
    return hr;
}

} // namespace qz
