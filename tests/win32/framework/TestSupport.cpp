#include "TestSupport.h"

#include <uuids.h>

#include <cstdio>

namespace {

std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; *text != L'\0'; ++text)
        out += static_cast<char>(*text);
    return out;
}

void Put32(std::vector<BYTE>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<BYTE>(value >> (8 * i)));
}

void Put16(std::vector<BYTE>& out, uint16_t value)
{
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

void PutTag(std::vector<BYTE>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

std::string HrText(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

std::string GuidText(const GUID& guid)
{
    wchar_t text[40];
    return StringFromGUID2(guid, text, 40) != 0 ? Narrow(text) : "(unprintable GUID)";
}

CMediaType AudioType(WORD formatTag, WORD channels, DWORD rate, WORD bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = formatTag;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;

    CMediaType type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = formatTag == WAVE_FORMAT_IEEE_FLOAT ? MEDIASUBTYPE_IEEE_FLOAT : MEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = format.nBlockAlign;
    type.formattype = FORMAT_WaveFormatEx;
    type.SetFormat(&format, sizeof format);
    return type;
}

const WAVEFORMATEX& WaveFormat(const AM_MEDIA_TYPE& type)
{
    return *reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
}

void WriteWavFile(const std::wstring& path, WORD formatTag, WORD channels, DWORD rate, WORD bits,
                  const std::vector<BYTE>& data)
{
    const WORD blockAlign = static_cast<WORD>(channels * bits / 8);
    std::vector<BYTE> file;
    PutTag(file, "RIFF");
    Put32(file, static_cast<uint32_t>(4 + 8 + 16 + 8 + data.size()));
    PutTag(file, "WAVE");
    PutTag(file, "fmt ");
    Put32(file, 16);
    Put16(file, formatTag);
    Put16(file, channels);
    Put32(file, rate);
    Put32(file, rate * blockAlign);
    Put16(file, blockAlign);
    Put16(file, bits);
    PutTag(file, "data");
    Put32(file, static_cast<uint32_t>(data.size()));
    file.insert(file.end(), data.begin(), data.end());

    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(handle, file.data(), static_cast<DWORD>(file.size()), &written, nullptr);
    CloseHandle(handle);
}

std::wstring TempPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"qz_framework_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

std::vector<int16_t> StereoRamp16(size_t frames)
{
    std::vector<int16_t> samples;
    samples.reserve(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const int value = static_cast<int>(i % 30000) - 15000;
        samples.push_back(static_cast<int16_t>(2 * value));
        samples.push_back(static_cast<int16_t>(-2 * value + 2));
    }
    return samples;
}

std::vector<BYTE> Bytes(const void* data, size_t size)
{
    const BYTE* first = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(first, first + size);
}

TestGraph::TestGraph()
{
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                builder_.put_void())))
        return;
    builder_->QueryInterface(IID_IMediaControl, control_.put_void());
    builder_->QueryInterface(IID_IMediaEvent, events_.put_void());
}

TestGraph::~TestGraph()
{
    if (control_)
        control_->Stop();
}

HRESULT TestGraph::Add(IBaseFilter* filter, const wchar_t* name)
{
    return builder_->AddFilter(filter, name);
}

HRESULT TestGraph::AddWavSource(const std::wstring& path, ComPtr<IPin>& parserOutput)
{
    ComPtr<IBaseFilter> source;
    HRESULT hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  source.put_void());
    if (FAILED(hr))
        return hr;
    ComPtr<IFileSourceFilter> file;
    hr = source->QueryInterface(IID_IFileSourceFilter, file.put_void());
    if (SUCCEEDED(hr))
        hr = Add(source.get(), L"File Source");
    if (SUCCEEDED(hr))
        hr = file->Load(path.c_str(), nullptr);
    if (FAILED(hr))
        return hr;

    ComPtr<IBaseFilter> parser;
    hr = CoCreateInstance(kCLSID_WAVEParser, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, parser.put_void());
    if (SUCCEEDED(hr))
        hr = Add(parser.get(), L"WAVE Parser");
    if (FAILED(hr))
        return hr;
    ComPtr<IPin> sourceOutput = FindPinByDirection(source.get(), PINDIR_OUTPUT);
    ComPtr<IPin> parserInput = FindPinByDirection(parser.get(), PINDIR_INPUT);
    if (!sourceOutput || !parserInput)
        return E_FAIL;
    hr = builder_->Connect(sourceOutput.get(), parserInput.get());
    if (FAILED(hr))
        return hr;
    parserOutput = FindPinByDirection(parser.get(), PINDIR_OUTPUT);
    return parserOutput ? S_OK : E_FAIL;
}


std::vector<CMediaType> PreferredTypes(IPin* pin)
{
    std::vector<CMediaType> types;
    ComPtr<IEnumMediaTypes> list;
    if (FAILED(pin->EnumMediaTypes(list.put())))
        return types;
    AM_MEDIA_TYPE* type = nullptr;
    while (list->Next(1, &type, nullptr) == S_OK) {
        types.emplace_back(*type);
        DeleteMediaType(type);
    }
    return types;
}
