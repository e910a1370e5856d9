// qzmb: the qz:Multiband engine on the command line.
//
//   qzmb params                           the 53 parameters, their ranges and defaults
//   qzmb process IN OUT [settings]        process an audio file, print what happened
//   qzmb record OUT.rec [settings]        write the settings as a 240-byte record
//   qzmb compare A B                      how far two files differ; exit 1 beyond one LSB
//   qzmb presets FILE                     the presets of a preset file, as the plug-in lists them
//
// Settings (applied in this order, over the default settings):
//   --record FILE                         a settings record (as the filter stores it)
//   --preset-data "TEXT"                  a preset data string
//   --preset-file FILE --preset NAME      a preset from a preset file
//     [--bank BANK]                       (the one in that bank, when several share the name)
//   --set "LABEL=VALUE"                   one parameter; repeatable
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "CompareFiles.h"
#include "FileProcessor.h"
#include "ParamTable.h"
#include "ParameterText.h"
#include "PresetData.h"
#include "PresetFiles.h"
#include "RecordFile.h"

namespace {

using namespace qz;

const char* const kUsage =
    "usage: qzmb params\n"
    "       qzmb process IN OUT [SETTINGS]\n"
    "       qzmb record OUT.rec [SETTINGS]\n"
    "       qzmb compare A B\n"
    "       qzmb presets FILE\n"
    "SETTINGS: [--record FILE] [--preset-data TEXT] [--preset-file FILE --preset NAME [--bank BANK]]\n"
    "          [--set LABEL=VALUE]...\n"
    "\n"
    "VALUE is in engine units as a bare number (--set \"Threshold 3=-200\") or physical with a unit:\n"
    "-20dB, 4:1, 15ms, 1262Hz, on/off, Normal/Vintage.\n";

int Fail(const std::string& problem)
{
    std::fprintf(stderr, "qzmb: %s\n", problem.c_str());
    return 1;
}

int ListParams()
{
    const ParamBlock defaults = DefaultParamBlock();
    std::printf("%-5s %-12s %-18s %-26s %s\n", "index", "label", "engine unit", "range", "default");
    for (int p = 0; p < kParamCount; ++p) {
        const ParamDef& def = Param(p);
        const std::string range = cli::DescribeValue(p, def.minimum()) + " .. " + cli::DescribeValue(p, def.maximum());
        const int32_t value = defaults.field(def.blockIndex);
        std::printf("%-5d %-12s %-18s %-26s %s (%d)\n", p, def.label, cli::EngineUnit(p), range.c_str(),
                    cli::DescribeValue(p, value).c_str(), value);
    }
    std::printf("\nDefault settings as a preset data string:\n%s\n", FormatPresetData(defaults).c_str());
    return 0;
}

void Warn(const std::string& what)
{
    std::fprintf(stderr, "qzmb: warning: %s\n", what.c_str());
}

// Reads a preset data string over the settings exactly as the editor page applies it,
// and says what it left unchanged.
void ApplyPresetText(const std::string& source, const std::string& text, ParamBlock& settings)
{
    for (const std::string& line : cli::DescribeUnreadValues(ParsePresetData(text, settings)))
        Warn(source + ": " + line);
}

int ListPresets(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return Fail("presets needs one preset file (qzmb --help shows the usage)");
    std::string error;
    const cli::PresetFileContents contents = cli::ReadPresetFile(args[0], error);
    if (!error.empty())
        return Fail(error);
    for (const std::string& note : contents.notes)
        Warn(note);
    std::printf("%s: %zu preset%s\n", args[0].c_str(), contents.presets.size(),
                contents.presets.size() == 1 ? "" : "s");
    std::printf("  %-24s %-32s %s\n", "bank", "name", "values");
    for (const PresetRecord& preset : contents.presets) {
        ParamBlock unused{};
        const size_t values = ParsePresetData(preset.data, unused).taken.count();
        std::printf("  %-24s %-32s %zu of %d\n", preset.bank.empty() ? "(root)" : preset.bank.c_str(),
                    preset.name.c_str(), values, kBlockFieldCount);
    }
    return 0;
}

double Decibels(double linear) { return linear > 0 ? 20.0 * std::log10(linear) : -INFINITY; }

void ShowProgress(double fraction)
{
    static int shown = -1;
    const int percent = static_cast<int>(fraction * 100);
    if (percent == shown)
        return;
    shown = percent;
    const int width = 40, filled = percent * width / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(),
                 percent);
    if (percent >= 100)
        std::fprintf(stderr, "\n");
}

void PrintReport(const cli::ProcessReport& r, const std::string& in, const std::string& out)
{
    std::printf("%s -> %s\n", in.c_str(), out.c_str());
    std::printf("  %lld frames, %d channel%s, %d Hz, processed as %s\n", static_cast<long long>(r.frames), r.channels,
                r.channels == 2 ? "s" : "", r.sampleRate, r.sampleKind.c_str());
    std::printf("  %-6s %12s %12s %16s\n", "band", "peak L dBFS", "peak R dBFS", "deepest gain dB");
    for (int b = 0; b < kBandCount; ++b) {
        const BandMeter& m = r.loudest.band[b];
        std::printf("  %-6d %12.1f %12.1f %16.2f\n", b + 1, Decibels(m.left), Decibels(m.right), Decibels(m.gain));
    }
    std::printf("  output peak: %.2f dBFS left, %.2f dBFS right\n", Decibels(r.loudest.outputLeft),
                Decibels(r.channels == 2 ? r.loudest.outputRight : r.loudest.outputLeft));
    std::printf("  over: %s\n", r.over ? "yes (limiting or output above full scale)" : "no");
    std::printf("  latency: %d frames (made up by the end-of-stream flush)\n", r.latencyFrames);
}

// Reads the settings options from args[first] on over the default settings. Returns
// an empty string, or the problem.
std::string ReadSettings(const std::vector<std::string>& args, size_t first, ParamBlock& settings)
{
    settings = DefaultParamBlock();
    std::string record, presetData, presetFile, presetName;
    std::optional<std::string> bank;
    std::vector<std::string> sets;
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size())
            return "option " + option + " needs a value";
        const std::string& value = args[++i];
        if (option == "--set")
            sets.push_back(value);
        else if (option == "--record")
            record = value;
        else if (option == "--preset-data")
            presetData = value;
        else if (option == "--preset-file")
            presetFile = value;
        else if (option == "--preset")
            presetName = value;
        else if (option == "--bank")
            bank = value;
        else
            return "unknown option " + option;
    }
    if (!record.empty()) {
        const std::string problem = cli::ReadRecordFile(record, settings);
        if (!problem.empty())
            return problem;
    }
    if (presetFile.empty() != presetName.empty() || (bank && presetFile.empty()))
        return "--preset-file and --preset (and --bank) go together";
    const PresetRecord* preset = nullptr;
    cli::PresetFileContents contents;
    if (!presetFile.empty()) {
        std::string error;
        contents = cli::ReadPresetFile(presetFile, error);
        if (error.empty())
            preset = cli::FindPreset(contents.presets, presetName, bank ? &*bank : nullptr, error);
        if (!error.empty())
            return error + (preset == nullptr && !contents.presets.empty() ? " in " + presetFile : "");
    }
    if (!presetData.empty())
        ApplyPresetText("the preset data string", presetData, settings);
    if (preset != nullptr) {
        for (const std::string& note : contents.notes)
            Warn(note);
        ApplyPresetText("preset \"" + preset->name + "\"", preset->data, settings);
    }
    for (const std::string& setting : sets) {
        const std::string problem = cli::ApplySetting(setting, settings);
        if (!problem.empty())
            return problem;
    }
    // Stored records and preset files may hold values out of range; the engine clamps
    // them when it applies the block, and so does the record written here.
    for (int i = 0; i < kBlockFieldCount; ++i)
        settings.field(i) = BlockField(i).clamp(settings.field(i));
    return "";
}

int WriteRecord(const std::vector<std::string>& args)
{
    if (args.empty())
        return Fail("record needs OUT.rec (qzmb --help shows the usage)");
    ParamBlock settings;
    std::string problem = ReadSettings(args, 1, settings);
    if (problem.empty())
        problem = cli::WriteRecordFile(args[0], settings);
    if (!problem.empty())
        return Fail(problem);
    std::printf("%s: settings record written\n", args[0].c_str());
    return 0;
}

// Two renderings agree when no sample is more than one step of their format apart:
// the engine computes in double precision, and builds whose maths libraries round
// their last digit differently may land on neighbouring 16-bit values.
int Compare(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return Fail("compare needs two files (qzmb --help shows the usage)");
    cli::Comparison c;
    const std::string problem = cli::CompareFiles(args[0], args[1], c);
    if (!problem.empty())
        return Fail(problem);
    const bool agree = c.step > 0 ? c.largestDifference <= c.step : c.largestDifference <= 1e-6;
    if (c.step > 0)
        std::printf("%s and %s: %lld frames, largest difference %.0f step%s: %s\n", args[0].c_str(),
                    args[1].c_str(), c.frames, c.largestDifference / c.step,
                    c.largestDifference == c.step ? "" : "s", agree ? "they agree" : "they differ");
    else
        std::printf("%s and %s: %lld frames, largest difference %.3g: %s\n", args[0].c_str(), args[1].c_str(),
                    c.frames, c.largestDifference, agree ? "they agree" : "they differ");
    return agree ? 0 : 1;
}

int Process(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return Fail("process needs IN and OUT (qzmb --help shows the usage)");
    ParamBlock settings;
    const std::string invalid = ReadSettings(args, 2, settings);
    if (!invalid.empty())
        return Fail(invalid);

    cli::ProcessReport report;
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    const std::string problem = cli::ProcessFile(args[0], args[1], settings, report, showProgress ? &ShowProgress : nullptr);
    if (!problem.empty())
        return Fail(problem);
    PrintReport(report, args[0], args[1]);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "params")
        return ListParams();
    if (command == "process")
        return Process(args);
    if (command == "record")
        return WriteRecord(args);
    if (command == "compare")
        return Compare(args);
    if (command == "presets")
        return ListPresets(args);
    return Fail("unknown command \"" + command + "\" (qzmb --help shows the usage)");
}
