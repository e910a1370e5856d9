// The settings options and how they reach the filter: through the interfaces a host
// uses, IStaticFilterPreset, IPersistStream, IMediaParamInfo and IMediaParams.
// Values are normalized (0..1), as IMediaParams takes them.
#pragma once

#include "HostSupport.h"

#include "media_params.h"

#include <ocidl.h>

#include <string>
#include <vector>

namespace qzhost {

// --set "LABEL=VALUE"
struct ParamSetting {
    std::wstring label;
    float value = 0.0f;
};

// --ramp "LABEL=FROM:TO@START-END": one linear segment, times in seconds.
struct ParamRamp {
    std::wstring label;
    float from = 0.0f;
    float to = 0.0f;
    double startSeconds = 0.0;
    double endSeconds = 0.0;
};

// Every settings option of one command line. They are applied in a fixed order:
// preset, record, values, ramps; then the result is saved.
struct SettingsOptions {
    bool hasPreset = false;
    LONG preset = 0;
    std::wstring loadPath;
    std::vector<ParamSetting> sets;
    std::vector<ParamRamp> ramps;
    std::wstring savePath;
};

// The parsers throw UsageError with a message that names the option.
LONG ParsePresetIndex(const std::wstring& text);
ParamSetting ParseSetting(const std::wstring& text);
ParamRamp ParseRamp(const std::wstring& text);

// The filter's settings interfaces.
class FilterSettings {
public:
    // Throws HostError when the filter lacks one of the interfaces.
    explicit FilterSettings(IUnknown* filter);

    // The built-in presets' names, by index.
    std::vector<std::wstring> PresetNames();

    struct ParamDescription {
        std::wstring label;
        std::wstring unit;
        float neutral;
    };
    std::vector<ParamDescription> Params();

    // Checks what can be checked before anything is applied: the preset exists, the
    // labels are known and the record file can be read (it is read here). Throws
    // HostError or UsageError.
    void Validate(const SettingsOptions& options);

    // Applies preset, record, values and ramps in that order (after Validate, which it
    // calls if nobody did) and answers one line per setting applied. Throws HostError
    // when the filter refuses one.
    std::vector<std::string> Apply(const SettingsOptions& options);

    // The filter's record of its settings now (IPersistStream::Save).
    std::vector<BYTE> SaveRecord();

private:
    // The parameter index of `label` (letter case aside); throws UsageError.
    DWORD FindParam(const std::wstring& label);

    ComPtr<IStaticFilterPreset> m_presets;
    ComPtr<IPersistStream> m_persist;
    ComPtr<IMediaParams> m_params;
    ComPtr<IMediaParamInfo> m_info;
    std::vector<BYTE> m_record;  // the --load file, read by Validate
    bool m_validated = false;
};

// The size of the record the filter stores.
constexpr size_t kRecordSize = 240;

// Writes `record` (from SaveRecord) as the file at `path` with the project's safe
// writer: a uniquely named temporary file beside it, renamed over it once complete.
// Devices, pipes, folders, write-protected files and `inputs` (the files the run
// reads) are refused, and so is an existing file that is not a settings record:
// only a record is replaced by one. Throws HostError naming the file.
void WriteRecordFile(const std::wstring& path, const std::vector<BYTE>& record,
                     const std::vector<std::wstring>& inputs);

} // namespace qzhost
