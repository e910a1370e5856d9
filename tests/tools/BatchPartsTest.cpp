// The pieces of qzmb batch on their own: the JSON lines of the manifest, the manifest
// file with its lock and its threads, the level trace's bins, the shares, the job
// threads, and the temporary files' registry and no-replace commit.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "BatchInputs.h"
#include "Interruption.h"
#include "JobRunner.h"
#include "Json.h"
#include "LevelTrace.h"
#include "Manifest.h"
#include "OutputFile.h"

namespace qz::cli {
namespace {

std::string Scratch(const std::string& name)
{
    return ::testing::TempDir() + "qzmb_parts_" + std::to_string(getpid()) + "_" + name;
}

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// --- JSON -----------------------------------------------------------------------------------

TEST(Json, StringsComeBackByteForByte)
{
    const std::string texts[] = {"plain", "quote \" and backslash \\", "tab\tnewline\nreturn\r",
                                 std::string("control \x01\x1f and nul ") + '\0' + "inside",
                                 "UTF-8: S\xc3\xa4nger \xe2\x80\x94 \xf0\x9f\x8e\xb5", "not UTF-8: \xff\xfe\x80"};
    for (const std::string& text : texts) {
        JsonValue value;
        std::string error;
        ASSERT_TRUE(ParseJson(JsonString(text), value, error)) << JsonString(text) << ": " << error;
        EXPECT_EQ(value.kind, JsonValue::Kind::String);
        EXPECT_EQ(value.text, text);
    }
}

TEST(Json, EscapesOfOtherWritersAreRead)
{
    JsonValue value;
    std::string error;
    ASSERT_TRUE(ParseJson(R"({"a":"\u00e4\/\b\f\ud83c\udfb5","n":[1,-2.5e3,true,false,null],"o":{}})", value, error))
        << error;
    EXPECT_EQ(value.member("a")->text, "\xc3\xa4/\b\f\xf0\x9f\x8e\xb5");
    ASSERT_EQ(value.member("n")->items.size(), 5u);
    EXPECT_EQ(value.member("n")->items[1].text, "-2.5e3");
    EXPECT_EQ(value.member("o")->kind, JsonValue::Kind::Object);
    EXPECT_EQ(value.member("missing"), nullptr);
}

TEST(Json, MalformedTextIsRefusedWithAReason)
{
    const char* const bad[] = {"",          "{",          "{\"a\":}",        "{\"a\" 1}",     "{a:1}",
                               "[1,]",      "\"open",     "\"\\x\"",         "\"\\u12\"",     "\"\\ud800\"",
                               "tru",       "-",          "{\"a\":1} trail", "\"tab\there\"", "{\"a\":1,}"};
    for (const char* text : bad) {
        JsonValue value;
        std::string error;
        EXPECT_FALSE(ParseJson(text, value, error)) << text;
        EXPECT_NE(error.find("at character"), std::string::npos) << text << ": " << error;
    }
    // Deep nesting is refused, not recursed into until the stack runs out.
    JsonValue value;
    std::string error;
    EXPECT_FALSE(ParseJson(std::string(100000, '[') + std::string(100000, ']'), value, error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos);
}

// --- Manifest lines -----------------------------------------------------------------------

ManifestEntry DoneEntry()
{
    ManifestEntry e;
    e.output = "show \"1\"/take\t1.wav";
    e.status = "done";
    e.input = "/archive/show \"1\"/take\t1.wav";
    e.inputSize = 123456789012;
    e.inputHash = std::string(64, 'a');
    e.settings = SettingsHex(DefaultParamBlock());
    e.outputHash = std::string(64, 'b');
    e.plot = "plots/take.wav.png";
    e.frames = 9876543210;
    e.sampleRate = 96000;
    e.channels = 2;
    for (int b = 0; b < kBandCount; ++b)
        e.bandGain[b] = std::pow(10.0, -static_cast<double>(b) / 20.0);
    e.bandGain[4] = 0.0;  // muted: no finite dB
    e.outputPeak = std::pow(10.0, -0.1 / 20.0);
    e.over = true;
    e.nonFiniteSamples = 3;
    e.wallSeconds = 1.25;
    e.engine = EngineVersion();
    return e;
}

TEST(ManifestLines, AnEntryComesBackAsItWasWritten)
{
    ManifestEntry failed;
    failed.output = "x.wav";
    failed.status = "failed";
    failed.input = "in/x.wav";
    failed.error = "cannot read in/x.wav: Format not recognised.";
    ManifestEntry pending = failed;
    pending.status = "pending";
    pending.error.clear();
    for (const ManifestEntry& written : {DoneEntry(), failed, pending}) {
        std::optional<ManifestHeader> header;
        std::optional<ManifestEntry> read;
        const std::string line = FormatEntry(written);
        ASSERT_EQ(ParseLine(line, header, read), "") << line;
        ASSERT_TRUE(read.has_value());
        EXPECT_FALSE(header.has_value());
        EXPECT_EQ(FormatEntry(*read), line) << "written again, the same line";
        EXPECT_EQ(read->output, written.output);
        EXPECT_EQ(read->inputSize, written.inputSize);
        EXPECT_EQ(read->frames, written.frames);
        EXPECT_EQ(read->error, written.error);
    }
    EXPECT_EQ(SettingsHex(DefaultParamBlock()).size(), 480u) << "240 bytes";
}

TEST(ManifestLines, HeadersAndWrongLinesAreToldApart)
{
    const ManifestHeader written{2, 7, 1000, std::string(64, 'c')};
    std::optional<ManifestHeader> header;
    std::optional<ManifestEntry> entry;
    ASSERT_EQ(ParseLine(FormatHeader(written), header, entry), "");
    ASSERT_TRUE(header.has_value());
    EXPECT_TRUE(*header == written);

    const struct {
        const char* line;
        const char* problem;
    } cases[] = {
        {R"({"qzmb_manifest":1,"shard":"3/2","inputs":1})", "is not K/N"},
        {R"({"qzmb_manifest":9,"shard":"1/1"})", "another format"},
        {R"({"output":"a.wav","status":"lost"})", "unknown status"},
        {R"({"status":"done"})", "no output path"},
        {R"({"output":"a.wav","status":"done","frames":"many"})", "wrong type"},
        {R"({"output":"a.wav","status":"done","frames":1.5})", "not a whole number"},
        {R"({"output":"a.wav","status":"done","band_gain_db":[1,2]})", "needs 5 values"},
        {R"(["output"])", "not a JSON object"},
        {R"({"output":"a.wav","status":"do)", "not JSON"},
    };
    for (const auto& c : cases)
        EXPECT_NE(ParseLine(c.line, header, entry).find(c.problem), std::string::npos) << c.line;
}

TEST(ManifestFile, ALaterLineWinsAndATornLineIsNotedAndIgnored)
{
    const std::string path = Scratch("torn.jsonl");
    ManifestEntry first = DoneEntry(), second = DoneEntry();
    first.output = second.output = "a.wav";
    second.status = "failed";
    std::ofstream(path) << FormatHeader({1, 1, 2, "h"}) << "\n"
                        << FormatEntry(first) << "\n"
                        << FormatEntry(second) << "\n"
                        << FormatEntry(DoneEntry()).substr(0, 40);  // a killed writer's last bytes
    ManifestContents contents;
    ASSERT_EQ(ReadManifest(path, contents), "");
    ASSERT_TRUE(contents.header.has_value());
    ASSERT_EQ(contents.entries.size(), 1u);
    EXPECT_EQ(contents.entries.at("a.wav").status, "failed");
    ASSERT_EQ(contents.notes.size(), 1u);
    EXPECT_NE(contents.notes[0].find("line 4: not JSON"), std::string::npos) << contents.notes[0];
    unlink(path.c_str());
}

TEST(ManifestFile, OneBatchAtATimeAndWholeLinesFromEveryThread)
{
    const std::string path = Scratch("busy.jsonl");
    unlink(path.c_str());
    ManifestFile manifest;
    std::vector<std::string> notes;
    ASSERT_EQ(manifest.open(path, notes), "");
    ManifestFile second;
    EXPECT_NE(second.open(path, notes).find("another qzmb batch is writing"), std::string::npos);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&manifest, t] {
            for (int i = 0; i < 250; ++i) {
                ManifestEntry e = DoneEntry();
                e.output = "t" + std::to_string(t) + "/" + std::to_string(i) + ".wav";
                EXPECT_EQ(manifest.append(e), "");
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    ManifestContents contents;
    ASSERT_EQ(ReadManifest(path, contents), "");
    EXPECT_EQ(contents.entries.size(), 1000u);
    EXPECT_EQ(contents.notes, std::vector<std::string>{}) << "no line torn by another";

    // The rewrite keeps every entry, sorted, under the header, and keeps the lock.
    ASSERT_EQ(manifest.rewrite({1, 1, 1000, "h"}), "");
    const std::string text = Contents(path);
    EXPECT_EQ(text.find(FormatHeader({1, 1, 1000, "h"})), 0u);
    EXPECT_LT(text.find("\"t0/0.wav\""), text.find("\"t3/99.wav\""));
    EXPECT_NE(second.open(path, notes).find("another qzmb batch is writing"), std::string::npos);
    unlink(path.c_str());
}

// --- The level trace --------------------------------------------------------------------------

TEST(LevelTrace, ALongFileKeepsFewBinsAndEveryPeakAndReduction)
{
    LevelTrace trace;
    trace.start(48000);
    MeterRecord quiet;
    quiet.reset();
    MeterRecord loud = quiet;
    loud.band[2].gain = 0.25;
    const int64_t blocks = 100000;  // about 18 minutes in blocks of 512
    for (int64_t k = 0; k < blocks; ++k) {
        const bool peak = k == 77777;
        trace.addInput(k * 512, 512, peak ? 0.9 : 0.1, peak ? loud : quiet);
        trace.addOutput(k * 512, peak ? 0.5 : 0.05);
    }
    EXPECT_LE(trace.bins().size(), LevelTrace::kMaxBins);
    EXPECT_GT(trace.bins().size(), LevelTrace::kMaxBins / 2);
    EXPECT_EQ(trace.frames(), blocks * 512);
    const LevelTrace::Bin& bin = trace.bins()[static_cast<size_t>(77777 * 512 / trace.binFrames())];
    EXPECT_EQ(bin.inputPeak, 0.9);
    EXPECT_EQ(bin.outputPeak, 0.5);
    EXPECT_EQ(bin.bandGain[2], 0.25);
    EXPECT_EQ(bin.bandGain[1], 1.0);
    EXPECT_EQ(trace.bins().front().inputPeak, 0.1);
}

// --- Shares -------------------------------------------------------------------------------------

TEST(Shares, EveryFileIsInExactlyOneShareOfAboutEqualSize)
{
    for (int count : {1, 2, 3, 7}) {
        std::vector<int> sizes(count + 1, 0);
        for (int i = 0; i < 3000; ++i) {
            const int shard = ShardOf("show-" + std::to_string(i % 17) + "/take-" + std::to_string(i) + ".wav", count);
            ASSERT_GE(shard, 1);
            ASSERT_LE(shard, count);
            ++sizes[shard];
        }
        for (int shard = 1; shard <= count; ++shard)
            EXPECT_NEAR(sizes[shard], 3000.0 / count, 3000.0 / count * 0.15) << shard << " of " << count;
    }
    EXPECT_EQ(ListHash({{"b", "b.wav", 1}, {"a", "a.wav", 2}}), ListHash({{"x", "a.wav", 0}, {"y", "b.wav", 0}}))
        << "the list's hash depends on its outputs, not their order or inputs";
}

// --- Job threads ------------------------------------------------------------------------------

bool HoldsStopSignals()
{
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    return sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM) && sigismember(&mask, SIGHUP);
}

// A stop signal must land on the watching thread: a runtime may hold a signal back on a
// busy job's thread until it blocks, which a job may never do.
TEST(JobThreads, TheJobsHoldStopSignalsAndTheWatchingThreadTakesThem)
{
    std::atomic<int> holding{0};
    JobPlan plan;
    plan.count = 6;
    plan.threads = 3;
    plan.run = [&](size_t) { holding += HoldsStopSignals(); };
    EXPECT_EQ(RunJobs(plan), 6u);
    EXPECT_EQ(holding.load(), 6);
    EXPECT_FALSE(HoldsStopSignals());
}

// --- Temporary files ---------------------------------------------------------------------------

TEST(TemporaryFiles, TheRegistryIsBoundedAndReusable)
{
    std::vector<std::string> names;
    for (int i = 0; files::RegisterPendingFile(("/tmp/pending-" + std::to_string(i)).c_str()); ++i)
        names.push_back("/tmp/pending-" + std::to_string(i));
    EXPECT_EQ(names.size(), 256u);
    EXPECT_FALSE(files::RegisterPendingFile(std::string(5000, 'x').c_str())) << "longer than a path";
    files::ReleasePendingFile(names[10].c_str());
    EXPECT_TRUE(files::RegisterPendingFile("/tmp/pending-again"));
    files::ReleasePendingFile("/tmp/pending-again");
    for (const std::string& name : names)
        files::ReleasePendingFile(name.c_str());
}

TEST(TemporaryFiles, ACommitAsNewNeverReplacesAFileThatAppeared)
{
    const std::string target = Scratch("new.wav");
    unlink(target.c_str());
    OutputFile file;
    ASSERT_EQ(file.create(target, target), "");
    ASSERT_EQ(write(file.descriptor(), "mine", 4), 4);
    std::ofstream(target) << "theirs";  // another program was quicker
    EXPECT_EQ(file.commitAsNew(), target + " exists; not replaced");
    EXPECT_EQ(Contents(target), "theirs");
    unlink(target.c_str());

    OutputFile fresh;
    ASSERT_EQ(fresh.create(target, target), "");
    ASSERT_EQ(write(fresh.descriptor(), "mine", 4), 4);
    EXPECT_EQ(fresh.commitAsNew(), "");
    EXPECT_EQ(Contents(target), "mine");
    unlink(target.c_str());
}

} // namespace
} // namespace qz::cli
