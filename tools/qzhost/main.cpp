// qzhost: a small Windows host of the qz:Multiband filter. It loads qzMultibandDX.dll
// without registering it, streams WAV files through the filter with the system's
// filter graph manager (or plays them in real time with the filter's editor open),
// and makes settings records.
//
//   qzhost process IN.wav OUT.wav [SETTINGS] [--ramp ...]... [--save FILE] [--editor] [FILTER]
//   qzhost settings [SETTINGS] --save FILE [FILTER]
//   qzhost presets [FILTER]
//   qzhost params [FILTER]
//
// FILTER is --dll PATH or --registered; by default the DLL beside qzhost.exe.
//
// Exit codes: 0 done, 1 the task failed, 2 the command line is wrong. Every failure is
// one line on standard error, and no output file is left behind by a failed run.
#include "EditorFrame.h"
#include "FilterModule.h"
#include "HostGraph.h"
#include "HostSupport.h"
#include "SafeFiles.h"
#include "Settings.h"

#include "ITqPlugInProp.h"
#include "qz_guids.h"

#include <objbase.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace qzhost {

namespace {

const char* const kUsage =
    "usage: qzhost process IN.wav OUT.wav [SETTINGS] [--ramp \"LABEL=FROM:TO@START-END\"]... [--save FILE]\n"
    "                      [--editor]\n"
    "       qzhost settings [SETTINGS] --save FILE\n"
    "       qzhost presets\n"
    "       qzhost params\n"
    "       qzhost help\n"
    "SETTINGS, applied in this order: [--preset N] [--load FILE] [--set \"LABEL=VALUE\"]...\n"
    "Every command also takes --dll PATH (default: qzMultibandDX.dll beside qzhost.exe), or\n"
    "--registered: the filter as other hosts create it, from the DLL registered (regsvr32) for\n"
    "programs of qzhost's width.\n"
    "\n"
    "  process   streams IN.wav (16-bit PCM) through the filter into OUT.wav, in the same format\n"
    "  settings  applies the settings to a new filter and saves its 240-byte record\n"
    "  presets   lists the filter's built-in presets\n"
    "  params    lists the filter's parameters by label\n"
    "\n"
    "  --preset N         applies built-in preset N (IStaticFilterPreset)\n"
    "  --load FILE        loads a 240-byte settings record (IPersistStream)\n"
    "  --set LABEL=VALUE  sets a parameter to a normalized VALUE in 0..1 (IMediaParams)\n"
    "  --ramp LABEL=FROM:TO@START-END\n"
    "                     moves a parameter linearly from FROM to TO (normalized) between\n"
    "                     START and END seconds of the stream (IMediaParams envelope)\n"
    "  --save FILE        saves the settings' 240-byte record once they are applied\n"
    "  --editor           plays IN.wav in real time with the filter's editor open in the system's\n"
    "                     property frame, so its meters move and its controls act on the audio.\n"
    "                     Close the frame to finish: OUT.wav holds what was processed until then.\n"
    "                     When the file ends first, the frame stays open until it is closed, and\n"
    "                     OUT.wav is complete.\n";

struct CommandLine {
    std::wstring command;
    std::vector<std::wstring> files;
    SettingsOptions settings;
    FilterModule::Source filter;
    bool editor = false;
};

CommandLine Parse(int argc, wchar_t** argv)
{
    if (argc < 2)
        throw UsageError("no command given (qzhost help lists the commands)");
    CommandLine line;
    line.command = argv[1];
    const bool process = line.command == L"process";
    const bool settings = line.command == L"settings";
    if (!process && !settings && line.command != L"presets" && line.command != L"params")
        throw UsageError("unknown command \"" + Utf8(line.command) + "\" (qzhost help lists the commands)");

    bool hasLoad = false, hasSave = false, hasDll = false;
    for (int i = 2; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument.size() < 2 || argument.compare(0, 2, L"--") != 0) {
            if (!process)
                throw UsageError("qzhost " + Utf8(line.command) + " takes no file name: \"" + Utf8(argument) + "\"");
            if (line.files.size() == 2)
                throw UsageError("qzhost process takes two file names, IN.wav and OUT.wav; \"" + Utf8(argument) +
                                 "\" is one too many");
            line.files.push_back(argument);
            continue;
        }
        const std::string option = Utf8(argument);
        if (argument == L"--editor") {
            if (!process)
                throw UsageError("--editor belongs to qzhost process: the editor opens while the audio streams");
            if (line.editor)
                throw UsageError("--editor given twice");
            line.editor = true;
            continue;
        }
        if (argument == L"--registered") {
            if (line.filter.registered)
                throw UsageError("--registered given twice");
            line.filter.registered = true;
            continue;
        }
        const bool known = argument == L"--preset" || argument == L"--load" || argument == L"--set" ||
                           argument == L"--ramp" || argument == L"--save" || argument == L"--dll";
        if (!known)
            throw UsageError("unknown option " + option + " (qzhost help lists the options)");
        if (i + 1 >= argc)
            throw UsageError(option + " needs a value");
        const std::wstring value = argv[++i];
        if (argument == L"--dll") {
            if (hasDll)
                throw UsageError("--dll given twice");
            hasDll = true;
            line.filter.dllPath = value;
            continue;
        }
        if (!process && !settings)
            throw UsageError("qzhost " + Utf8(line.command) + " takes no " + option);
        if (argument == L"--preset") {
            if (line.settings.hasPreset)
                throw UsageError("--preset given twice");
            line.settings.hasPreset = true;
            line.settings.preset = ParsePresetIndex(value);
        } else if (argument == L"--load") {
            if (hasLoad)
                throw UsageError("--load given twice");
            hasLoad = true;
            line.settings.loadPath = value;
        } else if (argument == L"--set") {
            line.settings.sets.push_back(ParseSetting(value));
        } else if (argument == L"--ramp") {
            if (!process)
                throw UsageError("--ramp belongs to qzhost process: a ramp plays while the audio streams");
            line.settings.ramps.push_back(ParseRamp(value));
        } else {
            if (hasSave)
                throw UsageError("--save given twice");
            hasSave = true;
            line.settings.savePath = value;
        }
        if (value.empty())
            throw UsageError(option + " needs a value");
    }
    if (hasDll && line.filter.registered)
        throw UsageError("--dll and --registered name two filters: give one of them");
    if (process && line.files.size() != 2)
        throw UsageError("qzhost process needs IN.wav and OUT.wav");
    if (settings && !hasSave)
        throw UsageError("qzhost settings needs --save FILE: it saves the settings and does nothing else");
    return line;
}

void Print(const char* heading, const std::string& text)
{
    std::printf("%-9s %s\n", heading, text.c_str());
}

std::string Decibels(double peak)
{
    if (peak <= 0.0)
        return "silence";
    char text[64];
    std::snprintf(text, sizeof text, "%.6f (%.2f dBFS)", peak, 20.0 * std::log10(peak));
    return text;
}

// The file must exist and be readable; what it holds is the parser's business.
void CheckReadable(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw HostError("cannot open " + Quoted(path) + ": " + HrText(HRESULT_FROM_WIN32(GetLastError())));
    CloseHandle(file);
}

// A file written by qzhost must be neither the input nor the other output; the WAV
// output not even through the temporary name it is written under first.
void CheckNotOver(const std::wstring& written, const std::wstring& other, const char* what,
                  const std::wstring& temporary = L"")
{
    if (qz::files::SameFile(written, other) || (!temporary.empty() && qz::files::SameFile(temporary, other)))
        throw UsageError(Quoted(written) + " would overwrite " + what + " " + Quoted(other));
}

// Time for a run: a minute, plus twice the input's playing time.
DWORD Timeout(const std::wstring& inputPath, const WAVEFORMATEX& format)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    double seconds = 0;
    if (GetFileAttributesExW(inputPath.c_str(), GetFileExInfoStandard, &data) && format.nAvgBytesPerSec > 0)
        seconds = (static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow) / format.nAvgBytesPerSec;
    const double ms = 60000.0 + 2000.0 * seconds;
    return ms < 2e9 ? static_cast<DWORD>(ms) : 2000000000u;
}

void PrintApplied(const std::vector<std::string>& applied)
{
    if (applied.empty())
        Print("applied:", "nothing; the filter's defaults");
    for (const std::string& line : applied)
        Print("applied:", line);
}

int Process(const CommandLine& line)
{
    const std::wstring& in = line.files[0];
    const std::wstring& out = line.files[1];
    const SettingsOptions& options = line.settings;
    CheckReadable(in);
    CheckNotOver(out, in, "the input", out + L".partial");
    if (!options.savePath.empty()) {
        CheckNotOver(options.savePath, in, "the input");
        CheckNotOver(options.savePath, out, "the output");
    }

    if (line.editor)
        CheckWindowsCanOpen();

    FilterModule module(line.filter);
    ComPtr<IBaseFilter> filter = module.CreateFilter();
    FilterSettings settings(filter.get());
    settings.Validate(options);

    HostGraph graph(filter.get());
    const WAVEFORMATEX format = graph.Connect(in);
    // Ramps are timed in the stream's samples, so everything is applied once the
    // filter knows the stream's rate.
    const std::vector<std::string> applied = settings.Apply(options);
    if (!options.savePath.empty())
        WriteRecordFile(options.savePath, settings.SaveRecord(), {in, out});

    HostGraph::Result result;
    if (line.editor) {
        const std::wstring caption = L"qz:Multiband - " + in.substr(in.find_last_of(L"\\/") + 1);
        result = graph.RunInRealTime(
            out, [&] { ShowEditorFrame(module, filter.get(), caption); },
            [] {
                Print("end:", "the whole file has been processed; close the editor to finish");
                std::fflush(stdout);
            });
    } else {
        result = graph.Run(out, Timeout(in, format));
    }

    LONG over = 0;
    ComPtr<qz::ITqPlugInProp> engine = filter.As<qz::ITqPlugInProp>(qz::kIID_ITqPlugInProp);
    if (!engine || FAILED(engine->GetOverIndicator(&over, 0)))
        throw HostError("the filter did not report its over indicator");

    Print("filter:", Quoted(module.Path()));
    Print("input:", Quoted(in) + ", " + DescribeFormat(format));
    PrintApplied(applied);
    if (!options.savePath.empty())
        Print("saved:", Quoted(options.savePath) + " (" + std::to_string(kRecordSize) + " bytes)");
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f s", format.nSamplesPerSec ? double(result.frames) / format.nSamplesPerSec : 0.0);
    Print("output:", Quoted(out) + ", " + DescribeFormat(format));
    Print("frames:", std::to_string(result.frames) + " written (" + seconds + ")");
    if (line.editor)
        Print("editor:", result.complete ? "closed after the whole file was processed"
                                         : "closed before the end of the file; the output holds what was processed "
                                           "until then");
    Print("peak:", Decibels(result.peak));
    Print("over:", over != 0 ? "yes: the limiter cut in or the output went above full scale" : "no");
    return 0;
}

int Settings(const CommandLine& line)
{
    FilterModule module(line.filter);
    ComPtr<IBaseFilter> filter = module.CreateFilter();
    FilterSettings settings(filter.get());
    const std::vector<std::string> applied = settings.Apply(line.settings);
    WriteRecordFile(line.settings.savePath, settings.SaveRecord(), {});
    PrintApplied(applied);
    Print("saved:", Quoted(line.settings.savePath) + " (" + std::to_string(kRecordSize) + " bytes)");
    return 0;
}

int Presets(const CommandLine& line)
{
    FilterModule module(line.filter);
    FilterSettings settings(module.CreateFilter().get());
    const std::vector<std::wstring> names = settings.PresetNames();
    for (size_t i = 0; i < names.size(); ++i)
        std::printf("%-3u %s\n", static_cast<unsigned>(i), Utf8(names[i]).c_str());
    return 0;
}

int Params(const CommandLine& line)
{
    FilterModule module(line.filter);
    FilterSettings settings(module.CreateFilter().get());
    const std::vector<FilterSettings::ParamDescription> params = settings.Params();
    std::printf("%-5s %-12s %-6s %s\n", "index", "label", "unit", "default (normalized)");
    for (size_t i = 0; i < params.size(); ++i)
        std::printf("%-5u %-12s %-6s %g\n", static_cast<unsigned>(i), Utf8(params[i].label).c_str(),
                    Utf8(params[i].unit).c_str(), params[i].neutral);
    return 0;
}

int Run(int argc, wchar_t** argv)
{
    // Help wherever it is asked for, rather than taking it for a file name.
    bool help = argc == 2 && std::wstring(argv[1]) == L"help";
    for (int k = 1; k < argc && !help; ++k)
        help = std::wstring(argv[k]) == L"--help" || std::wstring(argv[k]) == L"-h";
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const CommandLine line = Parse(argc, argv);
    if (line.command == L"process")
        return Process(line);
    if (line.command == L"settings")
        return Settings(line);
    if (line.command == L"presets")
        return Presets(line);
    return Params(line);
}

} // namespace

} // namespace qzhost

int wmain(int argc, wchar_t** argv)
{
    // A single-threaded apartment, as a host's window thread is: the editor's help
    // viewer (HTML Help) opens only there. The graph manager calls the filters from
    // its own threads all the same.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fputs("qzhost: COM could not be initialized\n", stderr);
        return 1;
    }
    int status = 1;
    try {
        status = qzhost::Run(argc, argv);
    } catch (const qzhost::UsageError& error) {
        std::fprintf(stderr, "qzhost: %s\n", error.what());
        status = 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qzhost: %s\n", error.what());
        status = 1;
    }
    std::fflush(stdout);
    CoUninitialize();
    return status;
}
