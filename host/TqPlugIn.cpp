#include "TqPlugIn.h"

#include <algorithm>
#include <limits>
#include <new>
#include <uuids.h>

#include "BuiltinPresets.h"
#include "MediaParams.h"
#include "SampleFormat.h"
#include "StoredRecord.h"
#include "qz_guids.h"

namespace {

const REGPINTYPES kAudio = {&MEDIATYPE_Audio, &GUID_NULL};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, const_cast<LPWSTR>(L"Output"), 1, &kAudio},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, const_cast<LPWSTR>(L"Input"), 1, &kAudio},
};
// Merit 0x00200000: the filter is never picked by intelligent connection on its own.
const AMOVIESETUP_FILTER kSetup = {&qz::kCLSID_Filter, L"Tavelin:qz Multiband", 0x00200000, 2, kPins};

// The first 16 bytes of a wave format block (all a 16-byte block holds).
bool ReadWaveFormat(const AM_MEDIA_TYPE& type, WAVEFORMATEX& format)
{
    if (type.pbFormat == nullptr || type.cbFormat < 16)
        return false;
    format = WAVEFORMATEX{};
    memcpy(&format, type.pbFormat, 16);
    return true;
}

// The stream format a type carries: its block align and average rate are not
// trusted, both follow from the rest.
WAVEFORMATEX StreamFormatOf(const AM_MEDIA_TYPE& type)
{
    WAVEFORMATEX format{};
    ReadWaveFormat(type, format);
    format.nBlockAlign = static_cast<WORD>(format.wBitsPerSample / 8 * format.nChannels);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    format.cbSize = 0;
    return format;
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) { return memcmp(&a, &b, sizeof a) == 0; }

// Where in the media a time stamp lies: stamps count from the start of their segment,
// at its rate.
REFERENCE_TIME MediaTime(REFERENCE_TIME stamp, REFERENCE_TIME segmentStart, double rate)
{
    const double time = static_cast<double>(segmentStart) + static_cast<double>(stamp) * rate;
    if (!(time > -9.2233720368547758e18))
        return std::numeric_limits<REFERENCE_TIME>::min();
    if (!(time < 9.2233720368547758e18))
        return std::numeric_limits<REFERENCE_TIME>::max();
    return static_cast<REFERENCE_TIME>(time);
}

// The sample's bytes as the engine's transform step sees them.
qz::MediaBuffer BufferOf(IMediaSample* sample)
{
    qz::MediaBuffer buffer;
    sample->GetPointer(&buffer.data);
    buffer.capacity = sample->GetSize();
    buffer.length = sample->GetActualDataLength();
    buffer.discontinuity = sample->IsDiscontinuity() == S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timed = sample->GetTime(&start, &stop);
    buffer.hasStartTime = timed == S_OK || timed == VFW_S_NO_STOP_TIME;
    buffer.startTime = start;
    return buffer;
}

} // namespace

const AMOVIESETUP_FILTER& CTqPlugIn::SetupRecord() { return kSetup; }

CUnknown* CALLBACK CTqPlugIn::CreateInstance(LPUNKNOWN outer, HRESULT* result)
{
    CTqPlugIn* filter = new (std::nothrow) CTqPlugIn(outer, result);
    if (filter == nullptr && result != nullptr)
        *result = E_OUTOFMEMORY;
    return filter;
}

CTqPlugIn::CTqPlugIn(LPUNKNOWN outer, HRESULT* result)
    : CTransInPlaceFilter(outer, qz::kCLSID_Filter, result, true),
      qz::CAudioTransform(&qz::CMediaParams::Create, result)
{
    ApplyPreset(0);  // a new filter starts with "(Default)"
}

STDMETHODIMP CTqPlugIn::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == qz::kIID_ITqPlugInProp)
        return GetInterface(static_cast<qz::ITqPlugInProp*>(this), object);
    if (iid == IID_ISpecifyPropertyPages)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
    if (iid == IID_IPersistStream)
        return GetInterface(static_cast<IPersistStream*>(this), object);
    if (iid == qz::kIID_IStaticFilterPreset)
        return GetInterface(static_cast<IStaticFilterPreset*>(this), object);
    // The automation interfaces live on the automation object, on its own count.
    if (qz::IEngineAutomation* automation = Automation()) {
        qz::CMediaParams* params = static_cast<qz::CMediaParams*>(automation);
        IUnknown* found = nullptr;
        if (iid == qz::kIID_IMediaParams)
            found = static_cast<IMediaParams*>(params);
        else if (iid == qz::kIID_IMediaParamInfo)
            found = static_cast<IMediaParamInfo*>(params);
        else if (iid == qz::kIID_IMediaParamsSetUICallback)
            found = static_cast<IMediaParamsSetUICallback*>(params);
        else if (iid == qz::kIID_IMediaParamsUICallback)
            found = static_cast<IMediaParamsUICallback*>(params);
        if (found != nullptr)
            return GetInterface(found, object);
    }
    return CTransInPlaceFilter::NonDelegatingQueryInterface(iid, object);
}

// --- Media types and the stream ---------------------------------------------------

HRESULT CTqPlugIn::CheckInputType(const CMediaType* type)
{
    WAVEFORMATEX format;
    if (type == nullptr || type->majortype != MEDIATYPE_Audio || type->bTemporalCompression ||
        !ReadWaveFormat(*type, format))
        return E_INVALIDARG;
    if (qz::SampleFormatOf(format) == qz::SampleFormat::Unsupported)
        return E_INVALIDARG;
    // A rate of 0 (or one a signed 32-bit count cannot hold) would divide by zero.
    if (format.nSamplesPerSec == 0 || format.nSamplesPerSec > 0x7FFFFFFFu)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CTqPlugIn::SetMediaType(PIN_DIRECTION direction, const CMediaType* type)
{
    const WAVEFORMATEX format = StreamFormatOf(*type);
    m_streamFormat = format;
    CTransInPlaceFilter::SetMediaType(direction, type);
    SetFormat(format);  // also gives the automation object the sample rate
    NotifyEditorWindows(direction == PINDIR_INPUT ? qz::kNotifyInputTypeSet : qz::kNotifyOutputTypeSet);
    return S_OK;
}

HRESULT CTqPlugIn::StartStreaming()
{
    SetStreaming(TRUE);
    m_flushing = false;
    m_audioSeen = false;
    // Whether or not the source marks it, the first sample after a start begins a
    // stream: its time is taken afresh and the lookahead starts empty, so nothing of
    // an earlier run is replayed.
    m_firstSample = true;
    {
        // A run starts in no segment of the earlier one: until the source announces
        // its own, stamps count from the media's start.
        CAutoLock segment(&m_segmentLock);
        m_segmentStart = 0;
        m_segmentRate = 1.0;
    }
    return BeginStreaming(m_streamFormat);
}

HRESULT CTqPlugIn::StopStreaming()
{
    SetStreaming(FALSE);
    return EndStreaming();
}

HRESULT CTqPlugIn::TakeAttachedMediaType(IMediaSample* sample)
{
    AM_MEDIA_TYPE* attached = nullptr;
    if (sample->GetMediaType(&attached) != S_OK || attached == nullptr)
        return S_OK;
    const CMediaType type(*attached);
    DeleteMediaType(attached);
    if (CheckInputType(&type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;  // never process one layout as another
    // The same format again changes nothing: only a new one restarts the engine.
    if (SameFormat(StreamFormatOf(type), m_streamFormat))
        return S_OK;
    SetMediaType(PINDIR_INPUT, &type);
    BeginStreaming(m_streamFormat);
    return S_OK;
}

LONG CTqPlugIn::MinimumBufferSize() { return std::max<LONG>(m_streamFormat.nBlockAlign, 1); }

HRESULT CTqPlugIn::EndFlush()
{
    {
        // Nothing from before the flush may come out after it: the next sample starts
        // the stream afresh, and an end of stream before it has nothing to empty.
        CAutoLock receive(&m_csReceive);
        DiscardStream();
        m_flushing = false;
        m_audioSeen = false;
        m_firstSample = true;
    }
    return CTransInPlaceFilter::EndFlush();
}

HRESULT CTqPlugIn::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    {
        CAutoLock segment(&m_segmentLock);
        m_segmentStart = start;
        m_segmentRate = rate > 0.0 ? rate : 1.0;
    }
    return CTransInPlaceFilter::NewSegment(start, stop, rate);
}

HRESULT CTqPlugIn::Receive(IMediaSample* sample)
{
    const HRESULT hr = TakeAttachedMediaType(sample);
    if (FAILED(hr))
        return hr;
    // The framework transforms (a writable copy when the upstream buffers are
    // read-only) and delivers unless the transform answers S_FALSE.
    return CTransInPlaceFilter::Receive(sample);
}

HRESULT CTqPlugIn::Transform(IMediaSample* sample)
{
    m_audioSeen = true;
    qz::MediaBuffer buffer = BufferOf(sample);
    {
        // The automation's time is the media's; a first sample without a time stamp
        // starts its segment.
        CAutoLock segment(&m_segmentLock);
        buffer.startTime = MediaTime(buffer.hasStartTime ? buffer.startTime : 0, m_segmentStart, m_segmentRate);
    }
    if (m_firstSample && !m_flushing) {
        buffer.discontinuity = true;
        buffer.hasStartTime = true;
        m_firstSample = false;
    }
    const HRESULT hr = TransformBuffer(buffer, m_flushing);
    if (SUCCEEDED(hr))
        sample->SetActualDataLength(buffer.length);
    return hr;
}

HRESULT CTqPlugIn::EndOfStream()
{
    CTransInPlaceOutputPin* output = OutputPin();
    if (output == nullptr)
        return S_OK;
    // Nothing processed: no lookahead to empty, but downstream still needs the end.
    if (!m_audioSeen || !output->IsConnected())
        return output->IsConnected() ? output->DeliverEndOfStream() : S_OK;

    // The tail flush: zeroed buffers through the engine until its lookahead is empty.
    m_flushing = true;
    IMediaSample* buffer = nullptr;
    // Whatever stops it, the flush ends and the end of stream goes on downstream.
    HRESULT hr = output->GetDeliveryBuffer(&buffer);
    while (SUCCEEDED(hr)) {
        // A buffer that cannot hold one frame would carry nothing, for ever.
        if (buffer->GetSize() < MinimumBufferSize()) {
            buffer->Release();
            hr = VFW_E_BUFFER_OVERFLOW;
            break;
        }
        buffer->SetActualDataLength(0);
        hr = Transform(buffer);
        if (FAILED(hr)) {
            buffer->Release();
            break;
        }
        const bool complete = hr == S_FALSE;
        hr = output->Deliver(buffer);
        buffer->Release();
        if (FAILED(hr) || complete)
            break;
        hr = output->GetDeliveryBuffer(&buffer);
    }
    m_flushing = false;
    m_audioSeen = false;
    const HRESULT ended = output->DeliverEndOfStream();
    return FAILED(hr) ? hr : ended;
}

STDMETHODIMP CTqPlugIn::IsProcessing() { return m_audioSeen ? S_OK : S_FALSE; }

// --- ISpecifyPropertyPages --------------------------------------------------------

STDMETHODIMP CTqPlugIn::GetPages(CAUUID* pages)
{
    if (pages == nullptr)
        return E_POINTER;
    pages->cElems = 0;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (pages->pElems == nullptr)
        return E_OUTOFMEMORY;
    pages->pElems[0] = qz::kCLSID_PropertyPage;
    pages->cElems = 1;
    return S_OK;
}

// --- IPersistStream ---------------------------------------------------------------

STDMETHODIMP CTqPlugIn::GetClassID(CLSID* clsid)
{
    if (clsid == nullptr)
        return E_POINTER;
    *clsid = qz::kCLSID_Filter;
    return S_OK;
}

STDMETHODIMP CTqPlugIn::IsDirty() { return HasUnsavedChanges() ? S_OK : S_FALSE; }

STDMETHODIMP CTqPlugIn::Load(IStream* stream)
{
    if (stream == nullptr)
        return E_POINTER;
    // A record that is not ours, or a stream that ends inside it, changes nothing.
    uint8_t header[qz::kStoredHeaderSize];
    ULONG read = 0;
    HRESULT hr = stream->Read(header, sizeof header, &read);
    if (FAILED(hr))
        return hr;
    if (read != sizeof header || !qz::IsStoredHeader(header))
        return E_FAIL;
    uint8_t bytes[qz::kStoredBlockSize];
    hr = stream->Read(bytes, sizeof bytes, &read);
    if (FAILED(hr))
        return hr;
    if (read != sizeof bytes)
        return E_FAIL;
    const qz::ParamBlock block = qz::ReadStoredBlock(bytes);
    hr = ApplyParamBlock(&block);
    if (FAILED(hr))
        return hr;
    return NotifyEditorWindows(qz::kNotifyBlockLoaded);
}

STDMETHODIMP CTqPlugIn::Save(IStream* stream, BOOL clearDirty)
{
    if (stream == nullptr)
        return E_POINTER;
    uint8_t header[qz::kStoredHeaderSize];
    qz::WriteStoredHeader(header);
    HRESULT hr = stream->Write(header, sizeof header, nullptr);
    if (FAILED(hr))
        return hr;
    // The values in force now, automation included.
    const qz::ParamBlock block = BlockForSaving();
    uint8_t bytes[qz::kStoredBlockSize];
    qz::WriteStoredBlock(block, bytes);
    hr = stream->Write(bytes, sizeof bytes, nullptr);
    if (FAILED(hr))
        return hr;
    if (clearDirty)
        MarkSaved(block);
    return hr;
}

STDMETHODIMP CTqPlugIn::GetSizeMax(ULARGE_INTEGER* size)
{
    if (size == nullptr)
        return E_POINTER;
    size->QuadPart = qz::kStoredRecordSize;
    return S_OK;
}

// --- IStaticFilterPreset ----------------------------------------------------------

STDMETHODIMP CTqPlugIn::GetPresetCount(LONG* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = qz::kBuiltinPresetCount;
    return S_OK;
}

STDMETHODIMP CTqPlugIn::GetPresetName(LONG index, WCHAR* name, LONG length)
{
    if (index < 0 || index >= qz::kBuiltinPresetCount)
        return E_INVALIDARG;
    if (name == nullptr)
        return E_POINTER;
    if (length <= 0)
        return E_INVALIDARG;
    // Converted whole, then cut to the buffer: the name always ends in a zero.
    WCHAR wide[sizeof qz::BuiltinPreset::name];
    if (MultiByteToWideChar(CP_ACP, 0, qz::GetBuiltinPreset(index).name, -1, wide, ARRAYSIZE(wide)) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    LONG k = 0;
    for (; k < length - 1 && wide[k] != 0; ++k)
        name[k] = wide[k];
    name[k] = 0;
    return S_OK;
}

STDMETHODIMP CTqPlugIn::ApplyPreset(LONG index)
{
    if (index < 0 || index >= qz::kBuiltinPresetCount)
        return E_INVALIDARG;
    return ApplyParamBlock(&qz::GetBuiltinPreset(index).block);
}
