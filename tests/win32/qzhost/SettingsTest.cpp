// qzhost's settings options end to end: records saved and loaded through the filter's
// IPersistStream, its built-in presets, and ramps played through IMediaParams.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include "ParamTable.h"
#include "StoredRecord.h"
#include "qz_guids.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const std::vector<std::pair<const char*, float>> kCompressing = {{"Threshold 1", 0.5f}, {"Ratio 1", 0.13f}};
const std::vector<std::wstring> kCompressingOptions = {L"--set", L"Threshold 1=0.5", L"--set", L"Ratio 1=0.13"};

qz::ParamBlock BlockOf(const std::vector<BYTE>& record)
{
    uint8_t bytes[qz::kStoredBlockSize];
    std::memcpy(bytes, record.data() + qz::kStoredHeaderSize, sizeof bytes);
    return qz::ReadStoredBlock(bytes);
}

std::vector<std::wstring> Join(std::vector<std::wstring> a, const std::vector<std::wstring>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The RMS of a - b over the samples from .. to.
double Rms(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return std::sqrt(sum / double(to - from));
}

class QzhostSettings : public QzhostTest {
protected:
    // qzhost settings `options` --save FILE, expected to succeed; answers the record.
    std::vector<BYTE> SaveSettings(const std::vector<std::wstring>& options, const std::wstring& name)
    {
        const std::wstring path = scratch.Path(name);
        const HostRun run = RunQzhost(Join(Join({L"settings"}, options), {L"--save", path}));
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReportLine(run.out, "saved:"), "saved:    \"" + Narrow(path) + "\" (240 bytes)");
        return ReadBytes(path);
    }
};

TEST_F(QzhostSettings, SaveWritesTheFiltersRecordOfTheValuesSet)
{
    const std::vector<BYTE> record = SaveSettings(kCompressingOptions, L"compress.rec");
    ASSERT_EQ(record.size(), 240u);
    EXPECT_EQ(record[0] | record[1] << 8 | record[2] << 16 | record[3] << 24, 240) << "the record starts with its size";
    EXPECT_EQ(std::memcmp(record.data() + 4, &qz::kIID_ITqPlugInProp, 16), 0) << "then the engine interface's identifier";
    EXPECT_TRUE(BlockOf(record) == BlockWith(kCompressing)) << "the defaults, with the two values set";

    // process --save records the same settings, before the run.
    const std::wstring saved = scratch.Path(L"from-process.rec");
    ProcessStereo(Join(kCompressingOptions, {L"--save", saved}));
    EXPECT_EQ(ReadBytes(saved), record);
}

TEST_F(QzhostSettings, LoadingASavedRecordReproducesTheOptionsThatMadeIt)
{
    SaveSettings(kCompressingOptions, L"compress.rec");
    const WavData bySet = ProcessStereo(kCompressingOptions);
    const WavData byLoad = ProcessStereo({L"--load", scratch.Path(L"compress.rec")});
    ASSERT_FALSE(byLoad.data.empty());
    EXPECT_EQ(byLoad.data, bySet.data);
    EXPECT_TRUE(SameSamples(Samples16(byLoad.data), EngineResult(BlockWith(kCompressing), StereoInput())));

    // Values set after the record change it, and the result can be saved again.
    const std::vector<BYTE> changed = SaveSettings({L"--load", scratch.Path(L"compress.rec"), L"--set", L"Ratio 1=0.5"},
                                                   L"changed.rec");
    EXPECT_TRUE(BlockOf(changed) == BlockWith({{"Threshold 1", 0.5f}, {"Ratio 1", 0.5f}}));
}

// The names in the scratch folder that start with `prefix`.
std::vector<std::wstring> NamesStartingWith(const std::wstring& folderFile, const std::wstring& prefix)
{
    const std::wstring folder = folderFile.substr(0, folderFile.find_last_of(L'\\') + 1);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(QzhostSettings, ASaveReplacesARecordThroughATemporaryFileOfItsOwn)
{
    // A file of the name a fixed temporary name would take is someone else's.
    const std::wstring record = scratch.Path(L"mix.rec");
    const std::vector<BYTE> someoneElses{'n', 'o', 't', ' ', 'm', 'i', 'n', 'e'};
    WriteBytes(record + L".partial", someoneElses);

    const std::vector<BYTE> first = SaveSettings(kCompressingOptions, L"mix.rec");
    EXPECT_TRUE(BlockOf(first) == BlockWith(kCompressing));
    // An existing record is replaced by the new one.
    const std::vector<BYTE> second = SaveSettings({L"--set", L"Ratio 1=0.5"}, L"mix.rec");
    EXPECT_TRUE(BlockOf(second) == BlockWith({{"Ratio 1", 0.5f}}));
    // And by process --save.
    ProcessStereo(Join(kCompressingOptions, {L"--save", record}));
    EXPECT_EQ(ReadBytes(record), first);

    EXPECT_EQ(ReadBytes(record + L".partial"), someoneElses);
    EXPECT_EQ(NamesStartingWith(record, L"mix.rec"), (std::vector<std::wstring>{L"mix.rec", L"mix.rec.partial"}))
        << "no temporary file is left behind";
    EXPECT_EQ(NamesStartingWith(record, L".mix.rec"), std::vector<std::wstring>{});
}

TEST_F(QzhostSettings, PresetsAreListedAndPresetOneHoldsTheDefaults)
{
    const HostRun list = RunQzhost({L"presets"});
    EXPECT_EQ(list.exitCode, 0u) << list.err;
    EXPECT_EQ(Lines(list.out), (std::vector<std::string>{"0   (Default)", "1   [1] Full Reset"}));

    EXPECT_TRUE(BlockOf(SaveSettings({L"--preset", L"1"}, L"preset1.rec")) == qz::DefaultParamBlock());
    std::string report;
    const WavData preset = ProcessStereo({L"--preset", L"1"}, &report);
    EXPECT_EQ(ReportLine(report, "applied:"), "applied:  preset 1 \"[1] Full Reset\"");
    EXPECT_TRUE(SameSamples(Samples16(preset.data), EngineResult(qz::DefaultParamBlock(), StereoInput())));
}

TEST_F(QzhostSettings, APresetAppliesBeforeValuesWhereverItIsWritten)
{
    // The order is fixed: preset, record, values. A preset written after --set does
    // not undo the value.
    const std::vector<BYTE> setThenPreset =
        SaveSettings({L"--set", L"Ratio 1=0.13", L"--preset", L"1"}, L"set-then-preset.rec");
    EXPECT_TRUE(BlockOf(setThenPreset) == BlockWith({{"Ratio 1", 0.13f}}));
    const WavData processed = ProcessStereo({L"--set", L"Ratio 1=0.13", L"--set", L"Threshold 1=0.5", L"--preset", L"1"});
    EXPECT_TRUE(SameSamples(Samples16(processed.data), EngineResult(BlockWith(kCompressing), StereoInput())));
}

TEST_F(QzhostSettings, ParamsListsTheLabelsTheOptionsTake)
{
    const HostRun run = RunQzhost({L"params"});
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 1u + qz::kParamCount) << "a heading and every parameter";
    for (int p = 0; p < qz::kParamCount; ++p) {
        const std::string label = qz::Param(p).label;
        EXPECT_EQ(lines[1 + p].compare(6, label.size() + 1, label + " "), 0) << lines[1 + p];
    }
}

TEST_F(QzhostSettings, ARampMovesTheParameterWhileTheAudioPlays)
{
    // Band 1 at 15:1; its threshold falls from 0 dB (no effect on this signal) to
    // -48 dB between 0.5 s and 1 s.
    const std::vector<std::wstring> ratio = {L"--set", L"Ratio 1=0.5"};
    const std::vector<int16_t> steady = Samples16(ProcessStereo(ratio).data);
    std::string report;
    const std::vector<int16_t> ramped =
        Samples16(ProcessStereo(Join(ratio, {L"--ramp", L"Threshold 1=1:0.2@0.5-1"}), &report).data);
    const std::vector<int16_t> low =
        Samples16(ProcessStereo(Join(ratio, {L"--set", L"Threshold 1=0.2"})).data);
    ASSERT_EQ(ramped.size(), steady.size());
    ASSERT_EQ(low.size(), steady.size());
    EXPECT_EQ(ReportLine(report, "applied:  Threshold"), "applied:  Threshold 1 ramps from 1 to 0.2 between 0.5 s and 1 s");

    // Before the ramp starts (less a margin well beyond the limiter's lookahead)
    // nothing moved.
    const size_t untouched = 2 * (22050 - 1024);
    EXPECT_TRUE(SameSamples(std::vector<int16_t>(ramped.begin(), ramped.begin() + untouched),
                            std::vector<int16_t>(steady.begin(), steady.begin() + untouched)))
        << "the output before the ramp is the steady one";
    // After it, the threshold stays at its end value: the output follows the run
    // with that value set from the start, once the compressor has settled.
    const size_t settled = 2 * 55125, end = steady.size();
    const std::vector<int16_t> silence(steady.size(), 0);
    const double loudness = Rms(steady, silence, settled, end);
    EXPECT_GT(Rms(ramped, steady, settled, end), 0.2 * loudness) << "the ramp compressed the end";
    EXPECT_LT(Rms(ramped, low, settled, end), 0.02 * loudness) << "and ended at its end value";
}

} // namespace
