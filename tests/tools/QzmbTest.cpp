// qzmb end to end: real files written with libsndfile, the real binary run on them.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PresetData.h"
#include "QzmbTestSupport.h"
#include "StandaloneEngine.h"
#include "StoredRecord.h"

namespace qz {
namespace {

// What the engine makes of `samples` (in the engine's own sample type), in one block
// followed by the flush, as a reference for the tool's block-by-block run.
template <typename Sample>
std::vector<Sample> ProcessInOneBlock(std::vector<Sample> samples, int channels, const ParamBlock& settings,
                                      WORD tag)
{
    StandaloneEngine engine;
    engine.ApplyParamBlock(&settings);
    WAVEFORMATEX format{};
    format.wFormatTag = tag;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = sizeof(Sample) * 8;
    format.nBlockAlign = static_cast<WORD>(sizeof(Sample) * channels);
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    const size_t frames = samples.size() / channels;
    MediaBuffer block;
    block.data = reinterpret_cast<BYTE*>(samples.data());
    block.capacity = block.length = static_cast<LONG>(samples.size() * sizeof(Sample));
    block.discontinuity = true;
    block.hasStartTime = true;
    engine.TransformBuffer(block, false);
    std::vector<Sample> out(samples.begin(), samples.begin() + block.length / sizeof(Sample));
    std::vector<Sample> tail(frames * channels);
    MediaBuffer flush;
    flush.data = reinterpret_cast<BYTE*>(tail.data());
    flush.capacity = static_cast<LONG>(tail.size() * sizeof(Sample));
    engine.TransformBuffer(flush, true);
    out.insert(out.end(), tail.begin(), tail.begin() + flush.length / sizeof(Sample));
    return out;
}

const char* const kCompress = "--set \"Threshold 1=-24dB\" --set \"Ratio 1=4:1\" --set \"Attack 1=1ms\" "
                              "--set \"Threshold 4=-300\" --set \"Ratio 4=60\" --set \"Type 4=Vintage\" "
                              "--set OutputGain=3dB";

ParamBlock CompressSettings()
{
    ParamBlock p = DefaultParamBlock();
    p.Threshold[0] = -240;
    p.Ratio[0] = 40;
    p.Attack[0] = 10;
    p.Threshold[3] = -300;
    p.Ratio[3] = 60;
    p.Type[3] = 1;
    p.OutputGain = 30;
    return p;
}

TEST(Qzmb, SixteenBitFilesComeOutAsTheEngineComputesThem)
{
    const std::string in = TempPath("in16.wav"), out = TempPath("out16.wav");
    const std::vector<double> signal = MakeSignal(30000, 2);
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, signal);
    RunResult run = RunQzmb("process " + in + " " + out + " " + kCompress);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    SF_INFO info{};
    SNDFILE* file = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.frames, 30000) << "the flush returns the lookahead's frames";
    std::vector<short> produced(30000 * 2);
    sf_readf_short(file, produced.data(), 30000);
    sf_close(file);

    std::vector<int16_t> source(signal.size());
    SNDFILE* inFile = sf_open(in.c_str(), SFM_READ, &info);
    sf_readf_short(inFile, reinterpret_cast<short*>(source.data()), 30000);
    sf_close(inFile);
    std::vector<int16_t> expected = ProcessInOneBlock(source, 2, CompressSettings(), WAVE_FORMAT_PCM);
    ASSERT_EQ(expected.size(), produced.size());
    for (size_t k = 0; k < expected.size(); ++k)
        ASSERT_EQ(produced[k], expected[k]) << "sample " << k;

    EXPECT_NE(run.output.find("16-bit PCM"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("latency: 64 frames"), std::string::npos) << run.output;
}

TEST(Qzmb, FloatFilesKeepTheirWidthAndMatchTheEngine)
{
    for (int subtype : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
        const std::string in = TempPath("inf.wav"), out = TempPath("outf.wav");
        const std::vector<double> signal = MakeSignal(20000, 1);
        WriteFile(in, SF_FORMAT_WAV | subtype, 1, signal);
        RunResult run = RunQzmb("process " + in + " " + out + " " + kCompress);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        AudioFile result = ReadFile(out);
        EXPECT_EQ(result.info.format, SF_FORMAT_WAV | subtype);
        ASSERT_EQ(result.info.frames, 20000);
        std::vector<double> expected;
        if (subtype == SF_FORMAT_FLOAT) {
            std::vector<float> narrow(signal.begin(), signal.end());
            std::vector<float> e = ProcessInOneBlock(narrow, 1, CompressSettings(), WAVE_FORMAT_IEEE_FLOAT);
            expected.assign(e.begin(), e.end());
        } else {
            expected = ProcessInOneBlock(signal, 1, CompressSettings(), WAVE_FORMAT_IEEE_FLOAT);
        }
        for (size_t k = 0; k < expected.size(); ++k)
            ASSERT_EQ(result.samples[k], expected[k]) << "sample " << k << " of subtype " << subtype;
    }
}

TEST(Qzmb, OtherFormatsAreProcessedInDoubleAndWrittenBackInTheirOwn)
{
    struct Case {
        const char* name;
        int format;
    };
    for (const Case& c : {Case{"in24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24}, Case{"in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                          Case{"in8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8}}) {
        const std::string in = TempPath(c.name), out = TempPath(std::string("out_") + c.name);
        WriteFile(in, c.format, 2, MakeSignal(10000, 2));
        RunResult run = RunQzmb("process " + in + " " + out);
        ASSERT_EQ(run.exitCode, 0) << c.name << ": " << run.output;
        AudioFile result = ReadFile(out);
        EXPECT_EQ(result.info.format, c.format) << c.name;
        EXPECT_EQ(result.info.frames, 10000) << c.name;
        EXPECT_EQ(result.info.channels, 2) << c.name;
    }
}

TEST(Qzmb, ContainerFollowsTheOutputName)
{
    const std::string in = TempPath("conv.wav"), out = TempPath("conv.aiff");
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, MakeSignal(5000, 2));
    RunResult run = RunQzmb("process " + in + " " + out);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadFile(out).info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
}

TEST(Qzmb, ReportShowsTheCompressionThatHappened)
{
    const std::string in = TempPath("rep.wav"), out = TempPath("rep_out.wav");
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, MakeSignal(44100, 2));
    RunResult run = RunQzmb("process " + in + " " + out + " --set \"Threshold 1=-30dB\" --set \"Ratio 1=10:1\"");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // Band 1 reduces deeply; band 2 to 5 stay at unity.
    double gain1 = 0, gain3 = -1;
    for (const char* line = run.output.c_str(); (line = std::strstr(line, "\n  ")) != nullptr; ++line) {
        int band;
        double left, right, gain;
        if (std::sscanf(line, "\n  %d %lf %lf %lf", &band, &left, &right, &gain) == 4) {
            if (band == 1)
                gain1 = gain;
            if (band == 3)
                gain3 = gain;
        }
    }
    EXPECT_LT(gain1, -10.0) << run.output;
    EXPECT_NEAR(gain3, 0.0, 1e-9) << run.output;
    EXPECT_NE(run.output.find("output peak"), std::string::npos);
}

TEST(Qzmb, PresetsFromDataStringsAndFiles)
{
    const std::string in = TempPath("pre.wav"), viaSet = TempPath("pre_set.wav"), viaData = TempPath("pre_data.wav"),
                      viaFile = TempPath("pre_file.wav"), ini = TempPath("presets.ini");
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, MakeSignal(8000, 2));
    const std::string data = FormatPresetData(CompressSettings());
    {
        std::ofstream file(ini);
        file << "[Plug-in]\nPluginName=qz:Multiband\n\n[Preset1]\nVersion=3\nName=Gentle\nBank=\nData="
             << FormatPresetData(DefaultParamBlock()) << "\n\n[Preset2]\nVersion=3\nName=Squash\nBank=Drums\nData=" << data
             << "\n";
    }
    ASSERT_EQ(RunQzmb("process " + in + " " + viaSet + " " + kCompress).exitCode, 0);
    ASSERT_EQ(RunQzmb("process " + in + " " + viaData + " --preset-data \"" + data + "\"").exitCode, 0);
    RunResult run = RunQzmb("process " + in + " " + viaFile + " --preset-file " + ini + " --preset squash");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(viaData), FileBytes(viaSet));
    EXPECT_EQ(FileBytes(viaFile), FileBytes(viaSet));

    const std::string record = TempPath("settings.rec"), viaRecord = TempPath("pre_record.wav");
    run = RunQzmb(std::string("record ") + record + " " + kCompress);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(record).size(), 240u);
    ASSERT_EQ(RunQzmb("process " + in + " " + viaRecord + " --record " + record).exitCode, 0);
    EXPECT_EQ(FileBytes(viaRecord), FileBytes(viaSet)) << "a settings record carries the same settings";
    run = RunQzmb("process " + in + " " + viaRecord + " --record " + in);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("not a qz:Multiband settings record"), std::string::npos) << run.output;

    run = RunQzmb("process " + in + " " + viaFile + " --preset-file " + ini + " --preset Missing");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("no preset named \"Missing\""), std::string::npos) << run.output;
}

ParamBlock RecordBlock(const std::string& path)
{
    const std::string bytes = FileBytes(path);
    uint8_t block[kStoredBlockSize] = {};
    if (bytes.size() == kStoredRecordSize)
        std::copy(bytes.begin() + kStoredHeaderSize, bytes.end(), block);
    return ReadStoredBlock(block);
}

// qzmb reads a preset data string with the function the editor page applies it with:
// what it leaves unread keeps its setting, and it says so.
TEST(Qzmb, PresetDataIsReadAsTheEditorReadsIt)
{
    ParamBlock changed = DefaultParamBlock();
    changed.OutputGain = -30;
    changed.Freq[3] = 250;
    changed.Threshold[1] = -200;
    changed.Type[4] = 1;
    const std::string full = FormatPresetData(changed);
    const std::string globals = full.substr(0, full.find(' ') - 1);  // "...,250": no comma, no space
    std::string withText = full, tooLarge = full;
    withText.replace(withText.find("-200"), 4, "-200abc");
    tooLarge.replace(tooLarge.find("-200"), 4, "4294967096");
    struct Case {
        std::string text;
        std::string says;  // in a warning; empty: no warning at all
    };
    const Case cases[] = {
        {full, ""},
        {globals, "no space after the tenth value"},
        {withText, "value 22 (Threshold 2) is not a number; left unchanged"},
        {tooLarge, "value 22 (Threshold 2) is not a number; left unchanged"},
        {full.substr(0, full.find("-200") + 4), "no value for Ratio 2 .. Type 5; left unchanged"},
        {"1,0,999999", "no value for QFactor .. Freq 4"},
    };
    const std::string record = TempPath("data.rec");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const RunResult run = RunQzmb("record " + record + " --preset-data \"" + c.text + "\"");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        if (c.says.empty())
            EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
        else
            EXPECT_NE(run.output.find("qzmb: warning: the preset data string: " + c.says), std::string::npos)
                << run.output;
        StandaloneEngine editorView;
        const ParamBlock defaults = DefaultParamBlock();
        editorView.ApplyParamBlock(&defaults);
        ApplyPresetData(editorView, c.text);
        ParamBlock expected{};
        editorView.GetParamBlock(&expected);
        EXPECT_EQ(RecordBlock(record), expected);
    }
}

// The listing shows the presets the plug-in would load, in its order, and says which
// sections it skips.
TEST(Qzmb, PresetsListsAFileAsThePlugInLoadsIt)
{
    const std::string ini = TempPath("list.ini");
    {
        std::ofstream file(ini);
        file << "[Plug-in]\nPluginName=qz:Multiband\n"
             << "[Preset1]\nVersion=3\nName=Zed\nBank=\nData=1,2,3\n"
             << "[Preset2]\nVersion=3\nName=Kick\nBank=beta\nData=" << FormatPresetData(DefaultParamBlock()) << "\n"
             << "[Preset3]\nVersion=3\nName=Lost data\nBank=Alpha\n"
             << "[Preset4]\nVersion=2\nName=Air\nData=0\n"
             << "[Preset5]\nVersion=3\nName=Snare\nBank=Alpha\nData=0\n";
    }
    const RunResult run = RunQzmb("presets " + ini);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("4 presets"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Preset3 has no Data; skipped"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("does not say which plug-in it belongs to"), std::string::npos) << run.output;
    const size_t snare = run.output.find("Snare"), kick = run.output.find("Kick"), air = run.output.find("Air"),
                 zed = run.output.find("Zed");
    ASSERT_NE(zed, std::string::npos) << run.output;
    EXPECT_TRUE(snare < kick && kick < air && air < zed) << "Alpha, beta, then the root presets:\n" << run.output;
    EXPECT_NE(run.output.find("55 of 55"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("3 of 55"), std::string::npos) << run.output;

    // A preset without a bank is a root preset, and two of a name need a bank.
    const std::string record = TempPath("list.rec");
    EXPECT_EQ(RunQzmb("record " + record + " --preset-file " + ini + " --preset air --bank \"\"").exitCode, 0);
    EXPECT_EQ(RecordBlock(record).Limiter, 0);
    std::ofstream(ini, std::ios::app) << "[Preset6]\nVersion=3\nName=snare\nBank=Other\nData=1\n";
    const RunResult twice = RunQzmb("record " + record + " --preset-file " + ini + " --preset SNARE");
    EXPECT_NE(twice.exitCode, 0);
    EXPECT_NE(twice.output.find("2 presets are named \"SNARE\" (in banks \"Alpha\", \"Other\"); choose one with --bank"),
              std::string::npos)
        << twice.output;
}

TEST(Qzmb, BadInputGetsOneLineAndNothingIsWritten)
{
    const std::string in = TempPath("bad_in.wav"), out = TempPath("bad_out.wav");
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, MakeSignal(2000, 2));
    const std::string original = FileBytes(in);
    const std::string surround = TempPath("six.wav");
    WriteFile(surround, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3, MakeSignal(2000, 3));
    std::remove(out.c_str());

    struct Case {
        std::string arguments;
        std::string says;
    };
    const Case cases[] = {
        {"process " + TempPath("missing.wav") + " " + out, "cannot read"},
        {"process " + surround + " " + out, "3 channels"},
        {"process " + in + " " + out + " --set \"Ratio 9=4:1\"", "unknown parameter \"Ratio 9\""},
        {"process " + in + " " + out + " --set \"Ratio 3=400\"", "out of range"},
        {"process " + in + " " + out + " --set \"Threshold 3=-20.05dB\"", "not a whole step"},
        {"process " + in + " " + out + " --set \"Release 2=3dB\"", "takes a time"},
        {"process " + in + " " + in, "overwrite the input"},
        {"process " + in + " " + out + " --preset-file " + in + " --preset X --bank Y --preset-data 1", "no preset named"},
        {"process " + in + " " + out + " --bank Drums", "go together"},
        {"frobnicate", "unknown command"},
    };
    for (const Case& c : cases) {
        RunResult run = RunQzmb(c.arguments);
        EXPECT_NE(run.exitCode, 0) << c.arguments;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.arguments << "\n" << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << "one line: " << run.output;
        std::ifstream written(out);
        EXPECT_FALSE(written.good()) << "nothing written for " << c.arguments;
    }
    EXPECT_EQ(FileBytes(in), original) << "the input is never written over";
}

TEST(Qzmb, CompareAllowsOneStepAndNoMore)
{
    const std::string a = TempPath("cmp_a.wav"), b = TempPath("cmp_b.wav"), c = TempPath("cmp_c.wav"),
                      shorter = TempPath("cmp_short.wav");
    std::vector<double> signal = MakeSignal(1000, 2);
    WriteFile(a, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, signal);
    std::vector<double> nudged = signal;
    nudged[501] += 1.0 / 32768;  // one step
    WriteFile(b, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, nudged);
    nudged[501] += 1.0 / 32768;  // two steps
    WriteFile(c, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, nudged);
    WriteFile(shorter, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, std::vector<double>(signal.begin(), signal.end() - 2));

    RunResult run = RunQzmb("compare " + a + " " + a);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("largest difference 0 steps: they agree"), std::string::npos) << run.output;
    run = RunQzmb("compare " + a + " " + b);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    run = RunQzmb("compare " + a + " " + c);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("2 steps: they differ"), std::string::npos) << run.output;
    run = RunQzmb("compare " + a + " " + shorter);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("differ in channels, sample rate or length"), std::string::npos) << run.output;
}

TEST(Qzmb, ParamsListsEveryParameterWithItsRangeAndDefault)
{
    RunResult run = RunQzmb("params");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("Threshold 5"), std::string::npos);
    EXPECT_NE(run.output.find("0.4:1 .. 30.0:1"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("80 Hz (60)"), std::string::npos);
    EXPECT_NE(run.output.find(FormatPresetData(DefaultParamBlock())), std::string::npos);
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1 + 53 + 3);
}

} // namespace
} // namespace qz
