// qzmb: the qz:Multiband engine on the command line.
//
//   qzmb params                           the 53 parameters, their ranges and defaults
//   qzmb process IN OUT [settings]        process an audio file, print what happened
//     [--plot FILE.png]                   and draw what the compressor did
//   qzmb batch IN... --out DIR [options] [settings]
//                                         many files on every core, with a manifest
//   qzmb manifest merge M... [--out FILE] join the manifests of a batch's shares
//   qzmb record OUT.rec [settings]        write the settings as a 240-byte record
//   qzmb compare A B                      how far two files differ; exit 1 beyond one LSB
//   qzmb presets FILE                     the presets of a preset file, as the plug-in lists them
//   qzmb lv2-presets STORE.ini OUT.lv2    the presets of a preset file as an LV2 preset bundle
//
// Exit status: 0 done, 1 the task failed (or, for compare, the files differ), 2 the
// command line is wrong (or, for compare, the files could not be compared).
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

#include "BatchCommand.h"
#include "CompareFiles.h"
#include "FileProcessor.h"
#include "LevelPlot.h"
#include "LevelTrace.h"
#include "ManifestMerge.h"
#include "OutputFile.h"
#include "Lv2PresetBundle.h"
#include "ParamTable.h"
#include "ParameterText.h"
#include "PresetData.h"
#include "PresetFiles.h"
#include "RecordFile.h"

namespace {

using namespace qz;

const char* const kUsage =
    "usage: qzmb params\n"
    "       qzmb process IN OUT [SETTINGS] [--plot FILE.png]\n"
    "       qzmb batch IN... --out DIR [--recursive] [--from LIST|-] [--format wav|aiff|flac]\n"
    "                  [--jobs N] [--overwrite] [--shard K/N] [--progress=auto|plain|none]\n"
    "                  [--plot DIR] [SETTINGS]\n"
    "       qzmb manifest merge MANIFEST... [--out FILE]\n"
    "       qzmb record OUT.rec [SETTINGS]\n"
    "       qzmb compare A B\n"
    "       qzmb presets FILE\n"
    "       qzmb lv2-presets STORE.ini OUT.lv2\n"
    "SETTINGS: [--record FILE] [--preset-data TEXT] [--preset-file FILE --preset NAME [--bank BANK]]\n"
    "          [--set LABEL=VALUE]...\n"
    "\n"
    "VALUE is in engine units as a bare number (--set \"Threshold 3=-200\") or physical with a unit:\n"
    "-20dB, 4:1, 15ms, 1262Hz, on/off, Normal/Vintage.\n";

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// A problem and the exit status it ends the run with.
struct Problem {
    std::string text;
    int status = kFailed;

    bool none() const { return text.empty(); }
};

Problem UsageProblem(const std::string& text) { return {text + " (qzmb --help shows the usage)", kUsageError}; }

int Fail(const Problem& problem)
{
    std::fprintf(stderr, "qzmb: %s\n", problem.text.c_str());
    return problem.status;
}

int ListParams(const std::vector<std::string>& args)
{
    if (!args.empty())
        return Fail(UsageProblem("params takes no arguments; \"" + args[0] + "\" is one too many"));
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
        return Fail(UsageProblem("presets needs one preset file"));
    std::string error;
    const cli::PresetFileContents contents = cli::ReadPresetFile(args[0], error);
    if (!error.empty())
        return Fail({error});
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

int WriteLv2Presets(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return Fail(UsageProblem("lv2-presets needs a preset file and the bundle folder to write"));
    cli::Lv2PresetReport report;
    const std::string problem = cli::WriteLv2PresetBundle(args[0], args[1], report);
    if (!problem.empty())
        return Fail({problem});
    for (const std::string& warning : report.warnings)
        Warn(warning);
    std::printf("%s: %d preset%s in %d bank%s and the root, for LV2 hosts (install it beside qzmultiband.lv2)\n",
                args[1].c_str(), report.presets, report.presets == 1 ? "" : "s", report.banks,
                report.banks == 1 ? "" : "s");
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
    std::printf("  non-finite input samples: %lld%s\n", r.nonFiniteSamples,
                r.nonFiniteSamples > 0 ? " (NaN or infinite; processed as silence)" : "");
}

// Reads the settings options from args[first] on over the default settings; `files`
// receives the files they name. Returns the problem, if any.
Problem ReadSettings(const std::vector<std::string>& args, size_t first, ParamBlock& settings,
                     std::vector<std::string>& files)
{
    settings = DefaultParamBlock();
    std::string record, presetData, presetFile, presetName;
    std::optional<std::string> bank;
    std::vector<std::string> sets;
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option.compare(0, 2, "--") != 0)
            return UsageProblem("\"" + option + "\" is one argument too many");
        if (i + 1 >= args.size())
            return UsageProblem("option " + option + " needs a value");
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
            return UsageProblem("unknown option " + option);
    }
    for (const std::string& file : {record, presetFile})
        if (!file.empty())
            files.push_back(file);
    if (!record.empty()) {
        const std::string problem = cli::ReadRecordFile(record, settings);
        if (!problem.empty())
            return {problem};
    }
    if (presetFile.empty() != presetName.empty() || (bank && presetFile.empty()))
        return UsageProblem("--preset-file and --preset (and --bank) go together");
    const PresetRecord* preset = nullptr;
    cli::PresetFileContents contents;
    if (!presetFile.empty()) {
        std::string error;
        contents = cli::ReadPresetFile(presetFile, error);
        if (error.empty())
            preset = cli::FindPreset(contents.presets, presetName, bank ? &*bank : nullptr, error);
        if (!error.empty())
            return {error + (preset == nullptr && !contents.presets.empty() ? " in " + presetFile : "")};
    }
    if (!presetData.empty())
        ApplyPresetText("the preset data string", presetData, settings);
    if (preset != nullptr) {
        for (const std::string& note : contents.notes)
            Warn(note);
        ApplyPresetText("preset \"" + preset->name + "\"", preset->data, settings);
    }
    for (const std::string& setting : sets) {
        std::string note;
        const std::string problem = cli::ApplySetting(setting, settings, note);
        if (!problem.empty())
            return {problem, kUsageError};
        if (!note.empty())
            std::fprintf(stderr, "qzmb: note: %s\n", note.c_str());
    }
    // Stored records and preset files may hold values out of range; the engine clamps
    // them when it applies the block, and so does the record written here.
    settings = ClampedBlock(settings);
    return {};
}

int WriteRecord(const std::vector<std::string>& args)
{
    if (args.empty() || args[0].compare(0, 2, "--") == 0)
        return Fail(UsageProblem("record needs OUT.rec"));
    ParamBlock settings;
    std::vector<std::string> settingsFiles;
    const Problem invalid = ReadSettings(args, 1, settings, settingsFiles);
    if (!invalid.none())
        return Fail(invalid);
    const std::string problem = cli::WriteRecordFile(args[0], settings, settingsFiles);
    if (!problem.empty())
        return Fail({problem});
    std::printf("%s: settings record written\n", args[0].c_str());
    return 0;
}

// Exit 0 when the files agree, 1 when they differ, 2 when they could not be compared.
int Compare(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return Fail(UsageProblem("compare needs two files"));
    cli::Comparison c;
    const std::string problem = cli::CompareFiles(args[0], args[1], c);
    if (!problem.empty())
        return Fail({problem, kUsageError});
    const char* const verdict = c.agree() ? "they agree" : "they differ";
    std::printf("%s and %s: ", args[0].c_str(), args[1].c_str());
    if (!c.sameShape) {
        std::printf("they differ in channels, sample rate or length\n");
        return 1;
    }
    if (c.step > 0)
        std::printf("%lld frames, largest difference %.0f step%s", c.frames, c.largestDifference / c.step,
                    c.largestDifference == c.step ? "" : "s");
    else
        std::printf("%lld frames, largest difference %.3g", c.frames, c.largestDifference);
    if (c.nonFinite > 0)
        std::printf(", %lld NaN or infinite samples", c.nonFinite);
    std::printf(": %s\n", verdict);
    return c.agree() ? 0 : 1;
}

// Takes "--plot FILE.png" out of `args`.
Problem TakePlotOption(std::vector<std::string>& args, std::string& plotPath)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--plot")
            continue;
        if (i + 1 >= args.size())
            return UsageProblem("option --plot needs a value");
        plotPath = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        if (plotPath.size() < 5 || plotPath.compare(plotPath.size() - 4, 4, ".png") != 0)
            return UsageProblem("--plot writes a PNG picture: end its name in .png");
        return {};
    }
    return {};
}

int Process(std::vector<std::string> args)
{
    if (args.size() < 2 || args[0].compare(0, 2, "--") == 0 || args[1].compare(0, 2, "--") == 0)
        return Fail(UsageProblem("process needs IN and OUT"));
    std::string plotPath;
    const Problem badPlot = TakePlotOption(args, plotPath);
    if (!badPlot.none())
        return Fail(badPlot);
    ParamBlock settings;
    std::vector<std::string> settingsFiles;
    const Problem invalid = ReadSettings(args, 2, settings, settingsFiles);
    if (!invalid.none())
        return Fail(invalid);

    cli::ProcessReport report;
    cli::ProcessHooks hooks;
    if (isatty(STDERR_FILENO) != 0)
        hooks.progress = ShowProgress;
    cli::LevelTrace trace;
    if (!plotPath.empty())
        hooks.trace = &trace;
    cli::OutputFile output, picture;
    std::string problem =
        cli::ProcessIntoTemporary(args[0], args[1], settingsFiles, settings, output, report, hooks);
    if (problem.empty() && !plotPath.empty()) {
        std::vector<std::string> readFiles = settingsFiles;
        readFiles.push_back(args[0]);
        readFiles.push_back(args[1]);
        problem = cli::DrawLevelPlot(trace, settings, args[0], plotPath, readFiles, picture);
    }
    if (problem.empty())
        problem = output.commit();
    if (problem.empty() && !plotPath.empty())
        problem = picture.commit();
    if (!problem.empty())
        return Fail({problem});
    PrintReport(report, args[0], args[1]);
    if (!plotPath.empty())
        std::printf("  picture: %s\n", plotPath.c_str());
    return 0;
}

int Batch(const std::vector<std::string>& args)
{
    cli::BatchOptions options;
    std::vector<std::string> settingsArgs;
    const std::string badOption = cli::ParseBatchOptions(args, options, settingsArgs);
    if (!badOption.empty())
        return Fail(UsageProblem(badOption));
    ParamBlock settings;
    std::vector<std::string> settingsFiles;
    const Problem invalid = ReadSettings(settingsArgs, 0, settings, settingsFiles);
    if (!invalid.none())
        return Fail(invalid);
    return cli::RunBatch(options, settings, settingsFiles);
}

// qzmb manifest merge M... [--out FILE]: exit 0 when every file of every share is
// done once, 1 when some are missing or duplicated (or the merge failed).
int Manifest(std::vector<std::string> args)
{
    if (args.empty() || args[0] != "merge")
        return Fail(UsageProblem("manifest takes one command: merge"));
    args.erase(args.begin());
    std::string outPath;
    std::vector<std::string> manifests;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size())
            outPath = args[++i];
        else if (args[i].compare(0, 2, "--") == 0)
            return Fail(UsageProblem(args[i] == "--out" ? "option --out needs a value" : "unknown option " + args[i]));
        else
            manifests.push_back(args[i]);
    }
    if (manifests.empty())
        return Fail(UsageProblem("manifest merge needs the manifests of the shares"));
    cli::MergeReport report;
    const std::string problem = cli::MergeManifests(manifests, outPath, report);
    if (!problem.empty())
        return Fail({problem});
    for (const std::string& line : report.problems)
        std::fprintf(stderr, "qzmb manifest: %s\n", line.c_str());
    std::fprintf(stderr, "qzmb manifest: %zu files, %zu done, %zu problem%s%s%s\n", report.files, report.done,
                 report.problems.size(), report.problems.size() == 1 ? "" : "s", outPath.empty() ? "" : "; written to ",
                 outPath.c_str());
    return report.problems.empty() ? 0 : kFailed;
}

int Run(std::vector<std::string> args)
{
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    // Help wherever it is asked for, rather than taking it for a file name.
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "params")
        return ListParams(args);
    if (command == "process")
        return Process(args);
    if (command == "record")
        return WriteRecord(args);
    if (command == "compare")
        return Compare(args);
    if (command == "presets")
        return ListPresets(args);
    if (command == "batch")
        return Batch(args);
    if (command == "manifest")
        return Manifest(args);
    if (command == "lv2-presets")
        return WriteLv2Presets(args);
    return Fail(UsageProblem("unknown command \"" + command + "\""));
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        return Fail({std::string("unexpected failure: ") + error.what()});
    }
}
