#include "Settings.h"

#include "SafeFiles.h"
#include "qz_guids.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace qzhost {

namespace {

// A record file is 240 bytes; anything much larger is certainly something else.
constexpr size_t kRecordFileLimit = 64 * 1024;
// The record's leading size and interface identifier, which tell a record file.
constexpr size_t kRecordHeaderSize = 20;
// Ramp times beyond this many seconds (about 31 years) are refused.
constexpr double kLongestTime = 1e9;

// A number at `text`, leaving `text` after it. No leading blanks, finite only.
bool ReadNumber(const wchar_t*& text, double& value)
{
    if (*text == L'\0' || std::iswspace(*text))
        return false;
    wchar_t* end = nullptr;
    value = std::wcstod(text, &end);
    if (end == text || !std::isfinite(value))
        return false;
    text = end;
    return true;
}

// "Threshold 1=0.5" -> label and the text after the first '='.
void SplitAssignment(const std::wstring& text, const char* option, std::wstring& label, std::wstring& rest)
{
    const size_t equals = text.find(L'=');
    if (equals == std::wstring::npos || equals == 0)
        throw UsageError(std::string(option) + " \"" + Utf8(text) + "\": expected LABEL=" +
                         (std::strcmp(option, "--ramp") == 0 ? "FROM:TO@START-END" : "VALUE"));
    label = text.substr(0, equals);
    rest = text.substr(equals + 1);
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

float NormalizedValue(double value, const char* option, const std::wstring& whole, const char* what)
{
    if (value < 0.0 || value > 1.0)
        throw UsageError(std::string(option) + " \"" + Utf8(whole) + "\": " + what + " " + Number(value) +
                         " is outside 0..1 (values are normalized)");
    return static_cast<float>(value);
}

} // namespace

LONG ParsePresetIndex(const std::wstring& text)
{
    const wchar_t* p = text.c_str();
    double value = 0;
    if (!ReadNumber(p, value) || *p != L'\0' || value != std::floor(value) || value < 0 || value > 1000000)
        throw UsageError("--preset \"" + Utf8(text) + "\": expected a preset number (qzhost presets lists them)");
    return static_cast<LONG>(value);
}

ParamSetting ParseSetting(const std::wstring& text)
{
    ParamSetting setting;
    std::wstring rest;
    SplitAssignment(text, "--set", setting.label, rest);
    const wchar_t* p = rest.c_str();
    double value = 0;
    if (!ReadNumber(p, value) || *p != L'\0')
        throw UsageError("--set \"" + Utf8(text) + "\": \"" + Utf8(rest) + "\" is not a number");
    setting.value = NormalizedValue(value, "--set", text, "value");
    return setting;
}

ParamRamp ParseRamp(const std::wstring& text)
{
    ParamRamp ramp;
    std::wstring rest;
    SplitAssignment(text, "--ramp", ramp.label, rest);
    const wchar_t* p = rest.c_str();
    double from = 0, to = 0, start = 0, end = 0;
    const bool ok = ReadNumber(p, from) && *p++ == L':' && ReadNumber(p, to) && *p++ == L'@' &&
                    ReadNumber(p, start) && *p++ == L'-' && ReadNumber(p, end) && *p == L'\0';
    if (!ok)
        throw UsageError("--ramp \"" + Utf8(text) + "\": expected LABEL=FROM:TO@START-END, e.g. \"Threshold 1=1:0.5@0-2.5\"");
    ramp.from = NormalizedValue(from, "--ramp", text, "FROM");
    ramp.to = NormalizedValue(to, "--ramp", text, "TO");
    if (start < 0 || end > kLongestTime || !(start < end))
        throw UsageError("--ramp \"" + Utf8(text) + "\": START and END are seconds with 0 <= START < END");
    ramp.startSeconds = start;
    ramp.endSeconds = end;
    return ramp;
}

FilterSettings::FilterSettings(IUnknown* filter)
{
    filter->QueryInterface(qz::kIID_IStaticFilterPreset, m_presets.put_void());
    filter->QueryInterface(IID_IPersistStream, m_persist.put_void());
    filter->QueryInterface(qz::kIID_IMediaParams, m_params.put_void());
    filter->QueryInterface(qz::kIID_IMediaParamInfo, m_info.put_void());
    if (!m_presets || !m_persist || !m_params || !m_info)
        throw HostError("the filter lacks one of IStaticFilterPreset, IPersistStream, IMediaParams and IMediaParamInfo");
}

std::vector<std::wstring> FilterSettings::PresetNames()
{
    LONG count = 0;
    HRESULT hr = m_presets->GetPresetCount(&count);
    if (FAILED(hr))
        throw HostError("the filter did not say how many presets it has: " + HrText(hr));
    std::vector<std::wstring> names;
    for (LONG i = 0; i < count; ++i) {
        WCHAR name[256] = {};
        hr = m_presets->GetPresetName(i, name, 256);
        if (FAILED(hr))
            throw HostError("the filter did not name preset " + std::to_string(i) + ": " + HrText(hr));
        names.emplace_back(name);
    }
    return names;
}

std::vector<FilterSettings::ParamDescription> FilterSettings::Params()
{
    DWORD count = 0;
    HRESULT hr = m_info->GetParamCount(&count);
    if (FAILED(hr))
        throw HostError("the filter did not say how many parameters it has: " + HrText(hr));
    std::vector<ParamDescription> params;
    for (DWORD i = 0; i < count; ++i) {
        MP_PARAMINFO info{};
        hr = m_info->GetParamInfo(i, &info);
        if (FAILED(hr))
            throw HostError("the filter did not describe parameter " + std::to_string(i) + ": " + HrText(hr));
        info.szLabel[31] = info.szUnitText[31] = 0;
        params.push_back({info.szLabel, info.szUnitText, info.mpdNeutralValue});
    }
    return params;
}

DWORD FilterSettings::FindParam(const std::wstring& label)
{
    const std::vector<ParamDescription> params = Params();
    for (size_t i = 0; i < params.size(); ++i)
        if (_wcsicmp(params[i].label.c_str(), label.c_str()) == 0)
            return static_cast<DWORD>(i);
    throw UsageError("unknown parameter \"" + Utf8(label) + "\" (qzhost params lists the labels)");
}

void FilterSettings::Validate(const SettingsOptions& options)
{
    if (options.hasPreset) {
        const LONG count = static_cast<LONG>(PresetNames().size());
        if (options.preset >= count)
            throw UsageError("--preset " + std::to_string(options.preset) + ": the filter has presets 0.." +
                             std::to_string(count - 1));
    }
    for (const ParamSetting& setting : options.sets)
        FindParam(setting.label);
    for (const ParamRamp& ramp : options.ramps)
        FindParam(ramp.label);
    if (!options.loadPath.empty())
        m_record = ReadWholeFile(options.loadPath, kRecordFileLimit);
    m_validated = true;
}

std::vector<std::string> FilterSettings::Apply(const SettingsOptions& options)
{
    if (!m_validated)
        Validate(options);
    std::vector<std::string> applied;
    const std::vector<ParamDescription> params = Params();

    if (options.hasPreset) {
        const std::vector<std::wstring> names = PresetNames();
        const HRESULT hr = m_presets->ApplyPreset(options.preset);
        if (FAILED(hr))
            throw HostError("the filter refused preset " + std::to_string(options.preset) + ": " + HrText(hr));
        applied.push_back("preset " + std::to_string(options.preset) + " \"" + Utf8(names[options.preset]) + "\"");
    }

    if (!options.loadPath.empty()) {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, m_record.empty() ? 1 : m_record.size());
        if (memory == nullptr)
            throw HostError("out of memory reading " + Quoted(options.loadPath));
        if (!m_record.empty()) {
            std::memcpy(GlobalLock(memory), m_record.data(), m_record.size());
            GlobalUnlock(memory);
        }
        ComPtr<IStream> stream;
        HRESULT hr = CreateStreamOnHGlobal(memory, TRUE, stream.put());
        if (FAILED(hr)) {
            GlobalFree(memory);
            throw HostError("cannot make a stream of " + Quoted(options.loadPath) + ": " + HrText(hr));
        }
        // The stream is as long as the memory block, which may be rounded up.
        ULARGE_INTEGER size;
        size.QuadPart = m_record.size();
        stream->SetSize(size);
        hr = m_persist->Load(stream.get());
        if (FAILED(hr))
            throw HostError("the filter refused the settings record " + Quoted(options.loadPath) + ": " + HrText(hr));
        LARGE_INTEGER none{};
        ULARGE_INTEGER position{};
        stream->Seek(none, STREAM_SEEK_CUR, &position);
        if (position.QuadPart != m_record.size())
            throw HostError(Quoted(options.loadPath) + " holds " + std::to_string(m_record.size()) +
                            " bytes, more than the " + std::to_string(position.QuadPart) +
                            "-byte record the filter read");
        applied.push_back("record " + Quoted(options.loadPath));
    }

    for (const ParamSetting& setting : options.sets) {
        const DWORD index = FindParam(setting.label);
        const HRESULT hr = m_params->SetParam(index, setting.value);
        if (FAILED(hr))
            throw HostError("the filter refused " + Utf8(params[index].label) + " = " + Number(setting.value) + ": " +
                            HrText(hr));
        applied.push_back(Utf8(params[index].label) + " = " + Number(setting.value));
    }

    for (const ParamRamp& ramp : options.ramps) {
        const DWORD index = FindParam(ramp.label);
        MP_ENVELOPE_SEGMENT segment{};
        segment.rtStart = static_cast<REFERENCE_TIME>(std::llround(ramp.startSeconds * 1e7));
        segment.rtEnd = static_cast<REFERENCE_TIME>(std::llround(ramp.endSeconds * 1e7));
        segment.valStart = ramp.from;
        segment.valEnd = ramp.to;
        segment.iCurve = MP_CURVE_LINEAR;
        const HRESULT hr = m_params->AddEnvelope(index, 1, &segment);
        if (FAILED(hr))
            throw HostError("the filter refused the ramp of " + Utf8(params[index].label) + ": " + HrText(hr));
        applied.push_back(Utf8(params[index].label) + " ramps from " + Number(ramp.from) + " to " + Number(ramp.to) +
                          " between " + Number(ramp.startSeconds) + " s and " + Number(ramp.endSeconds) + " s");
    }
    return applied;
}

std::vector<BYTE> FilterSettings::SaveRecord()
{
    ComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(hr))
        throw HostError("cannot make a memory stream: " + HrText(hr));
    hr = m_persist->Save(stream.get(), FALSE);
    if (FAILED(hr))
        throw HostError("the filter could not save its settings: " + HrText(hr));
    LARGE_INTEGER none{};
    ULARGE_INTEGER written{};
    stream->Seek(none, STREAM_SEEK_CUR, &written);
    if (written.QuadPart != kRecordSize)
        throw HostError("the filter saved " + std::to_string(written.QuadPart) + " bytes, not its " +
                        std::to_string(kRecordSize) + "-byte record");
    HGLOBAL memory = nullptr;
    hr = GetHGlobalFromStream(stream.get(), &memory);
    if (FAILED(hr))
        throw HostError("cannot read the saved settings back: " + HrText(hr));
    std::vector<BYTE> record(kRecordSize);
    std::memcpy(record.data(), GlobalLock(memory), kRecordSize);
    GlobalUnlock(memory);
    return record;
}

void WriteRecordFile(const std::wstring& path, const std::vector<BYTE>& record,
                     const std::vector<std::wstring>& inputs)
{
    std::wstring target;
    std::string problem = qz::files::CheckDestination(path, inputs, target);
    if (problem.empty()) {
        std::string existing;
        const qz::files::ReadResult read = qz::files::ReadWholeFile(target, kRecordSize, existing);
        const bool isRecord = read.problem.empty() && existing.size() == kRecordSize &&
                              std::memcmp(existing.data(), record.data(), kRecordHeaderSize) == 0;
        if (!read.missing && !isRecord)
            problem = Quoted(path) + " exists and is not a settings record; not overwritten";
    }
    if (problem.empty())
        problem = qz::files::ReplaceContent(path, std::string(record.begin(), record.end()), inputs);
    if (!problem.empty())
        throw HostError(problem);
}

} // namespace qzhost
