// qzmb batch end to end: generated archives of real files in many formats, the real
// binary stopped by real signals, shares run through GNU parallel as the README shows,
// a file system that fills up, and the pictures it draws.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>

#include "QzmbTestSupport.h"

namespace qz {
namespace {

// Settings that compress two bands and drive the limiter, as a shell argument string
// and as separate arguments.
const char* const kSettings =
    "--set \"Threshold 1=-20dB\" --set \"Ratio 1=4:1\" --set \"Threshold 3=-30dB\" --set \"Ratio 3=3:1\" "
    "--set OutputGain=6dB";
const std::vector<std::string> kSettingArgs = {"--set", "Threshold 1=-20dB", "--set", "Ratio 1=4:1",
                                               "--set", "Threshold 3=-30dB", "--set", "Ratio 3=3:1",
                                               "--set", "OutputGain=6dB"};

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every entry under `folder` (folders and hidden files included) whose name passes
// `wanted`, as paths relative to `folder`, sorted.
std::vector<std::string> EntriesUnder(const std::string& folder, const std::function<bool(const std::string&)>& wanted,
                                      const std::string& prefix = "")
{
    std::vector<std::string> found;
    DIR* dir = opendir(folder.c_str());
    for (dirent* entry; dir != nullptr && (entry = readdir(dir)) != nullptr;) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info;
        const std::string path = folder + "/" + name;
        if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            const auto inside = EntriesUnder(path, wanted, prefix + name + "/");
            found.insert(found.end(), inside.begin(), inside.end());
        } else if (wanted(name)) {
            found.push_back(prefix + name);
        }
    }
    if (dir != nullptr)
        closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> FilesUnder(const std::string& folder)
{
    return EntriesUnder(folder, [](const std::string&) { return true; });
}

// qzmb's temporary files: hidden, named after the file they were to become.
std::vector<std::string> TemporariesUnder(const std::string& folder)
{
    return EntriesUnder(folder, [](const std::string& name) { return name.find(".qzmb-") != std::string::npos; });
}

// Whether two outputs are the same file, byte for byte.
bool SameOutput(const std::string& a, const std::string& b)
{
    const std::string x = FileBytes(a);
    return !x.empty() && x == FileBytes(b);
}

std::string Sha256Of(const std::string& path)
{
    FILE* pipe = popen(("sha256sum " + path).c_str(), "r");
    char digest[65] = "";
    if (pipe != nullptr) {
        if (std::fscanf(pipe, "%64s", digest) != 1)
            digest[0] = '\0';
        pclose(pipe);
    }
    return digest;
}

// A manifest's text without what differs from run to run, the wall times. Each output
// hash it names is checked against the output itself.
std::string ComparableManifest(const std::string& folder)
{
    const std::string text = FileBytes(folder + "/qzmb-manifest.jsonl");
    const std::regex outputHash("\"output\":\"([^\"]+)\".*\"output_sha256\":\"([0-9a-f]+)\"");
    for (const std::string& line : Lines(text)) {
        std::smatch match;
        if (std::regex_search(line, match, outputHash)) {
            EXPECT_EQ(match[2].str(), Sha256Of(folder + "/" + match[1].str())) << "the manifest's hash of " << match[1];
        }
    }
    return std::regex_replace(text, std::regex("\"wall_seconds\":[0-9.]+"), "\"wall_seconds\":-");
}

std::string ManifestLineFor(const std::string& manifest, const std::string& output)
{
    for (const std::string& line : Lines(FileBytes(manifest)))
        if (line.find("{\"output\":\"" + output + "\"") == 0)
            return line;
    return "";
}

// An RF64 file whose header announces 5 GB of 16-bit stereo audio, sparse on disk.
void WriteHugeFile(const std::string& path)
{
    std::string h;
    auto put = [&h](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            h += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    const uint64_t dataBytes = 5000000000ull;
    h += "RF64";
    put(0xFFFFFFFF, 4);
    h += "WAVEds64";
    put(28, 4), put(dataBytes + 64, 8), put(dataBytes, 8), put(dataBytes / 4, 8), put(0, 4);
    h += "fmt ";
    put(16, 4), put(1, 2), put(2, 2), put(44100, 4), put(44100 * 4, 4), put(4, 2), put(16, 2);
    h += "data";
    put(0xFFFFFFFF, 4);
    std::ofstream(path, std::ios::binary) << h;
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(h.size() + dataBytes)), 0);
}

// A generated archive: good files of ten formats in nested folders (one folder named
// like an audio file), and, when asked, files no batch can process.
struct Archive {
    std::string root;
    std::vector<std::string> good;  // relative paths
    std::vector<std::string> bad;
};

Archive MakeArchive(const std::string& root, int goodFiles, int frames, bool withBadOnes)
{
    struct Kind {
        const char* extension;
        int format, channels, rate;
    };
    static const Kind kKinds[] = {
        {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100},  {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000},
        {"wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100},   {"wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 96000},
        {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100},  {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 22050},
        {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100}, {"aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1, 48000},
        {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100}, {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 88200},
    };
    Archive archive;
    archive.root = root;
    std::system(("rm -rf " + root).c_str());
    for (int i = 0; i < goodFiles; ++i) {
        const Kind& kind = kKinds[i % 10];
        char folder[64], name[64];
        std::snprintf(folder, sizeof folder, "show-%d/part-%d", i % 5, i % 3);
        std::snprintf(name, sizeof name, "/take-%03d.%s", i, kind.extension);
        std::system(("mkdir -p " + root + "/" + folder).c_str());
        const std::string relative = std::string(folder) + name;
        WriteFile(root + "/" + relative, kind.format, kind.channels,
                  MakeSignal(frames + 37 * i % 1000, kind.channels), kind.rate);
        archive.good.push_back(relative);
    }
    if (withBadOnes) {
        // A folder named like a file is walked like any folder.
        mkdir((root + "/folder.wav").c_str(), 0755);
        for (const char* name : {"folder.wav/inside-1.wav", "folder.wav/inside-2.flac"}) {
            WriteFile(root + "/" + name, std::strstr(name, "flac") ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                                                    : SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                      2, MakeSignal(frames, 2));
            archive.good.push_back(name);
        }
        std::ofstream(root + "/garbage.wav") << "these are not the samples you are looking for\n";
        std::ofstream(root + "/empty.wav").flush();
        WriteFile(root + "/cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, MakeSignal(frames, 2));
        truncate((root + "/cut.wav").c_str(), 30);
        WriteFile(root + "/surround.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, MakeSignal(frames, 3));
        mkfifo((root + "/pipe.wav").c_str(), 0644);
        symlink("nowhere.flac", (root + "/gone.flac").c_str());
        WriteHugeFile(root + "/huge.wav");
        archive.bad = {"cut.wav", "empty.wav", "garbage.wav", "gone.flac", "huge.wav", "pipe.wav", "surround.wav"};
        std::ofstream(root + "/notes.txt") << "not audio: skipped\n";
    }
    std::sort(archive.good.begin(), archive.good.end());
    return archive;
}

// qzmb run in the background with its output to a log, to be stopped by the test.
class BackgroundRun {
public:
    BackgroundRun(const std::vector<std::string>& args, const std::string& log)
    {
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        m_pid = StartQzmb(args, out);
        close(out);
    }
    ~BackgroundRun()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    void signal(int number) const { kill(m_pid, number); }
    int wait()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
};

class QzmbBatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');  // parameterized tests are "Name/Param"
        folder = TempPath(name);
        std::system(("rm -rf " + folder).c_str());
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    // A failed test's folder stays for a look.
    void TearDown() override
    {
        if (!HasFailure())
            std::system(("rm -rf " + folder).c_str());
    }

    std::string Path(const std::string& name) const { return folder + "/" + name; }

    // Processes each file with qzmb process, two at a time, as the reference a batch
    // must equal.
    void ProcessOneByOne(const Archive& archive, const std::string& into)
    {
        std::ofstream commands(Path("reference-commands"));
        for (const std::string& file : archive.good) {
            const std::string out = into + "/" + file;
            commands << "mkdir -p " << out.substr(0, out.find_last_of('/')) << " && " << QZMB_PATH << " process "
                     << archive.root << "/" << file << " " << out << " " << kSettings << " >/dev/null\n";
        }
        commands.close();
        ASSERT_EQ(std::system(("xargs -P 2 -d '\\n' -n 1 sh -c <" + Path("reference-commands")).c_str()), 0);
    }

    void ExpectSameOutputs(const std::string& expected, const std::string& actual,
                           const std::vector<std::string>& files)
    {
        for (const std::string& file : files)
            EXPECT_TRUE(SameOutput(expected + "/" + file, actual + "/" + file)) << file;
    }

    std::string folder;
};

// --- A whole archive ----------------------------------------------------------------------

TEST_F(QzmbBatch, AnArchiveOfMixedFilesComesOutAsProcessMakesEachFile)
{
    const Archive archive = MakeArchive(Path("archive"), 191, 3000, true);
    ASSERT_EQ(archive.good.size() + archive.bad.size(), 200u);
    const std::string out = Path("out");
    const RunResult run =
        RunQzmb("batch " + archive.root + " --recursive --out " + out + " --jobs 2 --progress=plain " + kSettings);
    EXPECT_EQ(run.exitCode, 1) << "some files failed";

    // Each bad file: one line as it failed, one in the summary's failures.
    const std::vector<std::string> lines = Lines(run.output);
    const auto failuresAt = std::find(lines.begin(), lines.end(), "failures:");
    ASSERT_NE(failuresAt, lines.end()) << run.output;
    for (const std::string& bad : archive.bad) {
        int live = 0, summary = 0;
        for (auto line = lines.begin(); line != lines.end(); ++line) {
            if (line->find(archive.root + "/" + bad) == std::string::npos)
                continue;
            if (line > failuresAt)
                ++summary;
            else if (line->find("] failed: ") != std::string::npos)
                ++live;
        }
        EXPECT_EQ(live, 1) << bad << "\n" << run.output;
        EXPECT_EQ(summary, 1) << bad << "\n" << run.output;
    }
    EXPECT_EQ(static_cast<size_t>(lines.end() - failuresAt - 1), archive.bad.size()) << "only the bad files failed";
    EXPECT_NE(run.output.find("huge.wav: the input is too large for a WAV file"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("pipe.wav is a pipe"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("skipped 1 file in the folders"), std::string::npos) << "notes.txt\n" << run.output;

    std::vector<std::string> expected = archive.good;
    expected.push_back("qzmb-manifest.jsonl");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesUnder(out), expected) << "every good file, nothing else, no temporary file";
    EXPECT_EQ(TemporariesUnder(archive.root), std::vector<std::string>{});

    const std::string reference = Path("reference");
    ProcessOneByOne(archive, reference);
    ExpectSameOutputs(reference, out, archive.good);

    const std::string manifest = FileBytes(out + "/qzmb-manifest.jsonl");
    EXPECT_EQ(Count(manifest, "\n"), 201) << "a header and a line per file";
    EXPECT_EQ(Count(manifest, "\"status\":\"done\""), static_cast<int>(archive.good.size()));
    EXPECT_EQ(Count(manifest, "\"status\":\"failed\""), static_cast<int>(archive.bad.size()));
}

// --- Stopped and resumed ------------------------------------------------------------------

struct Stop {
    const char* name;
    std::vector<int> signals;
};

class QzmbBatchStops : public QzmbBatch, public ::testing::WithParamInterface<Stop> {};

TEST_P(QzmbBatchStops, AStoppedBatchRunAgainEndsAsAnUninterruptedOne)
{
    // Files long enough that the batch is half-way for a while.
    const Archive archive = MakeArchive(Path("archive"), 24, 5 * 44100, false);
    std::vector<std::string> args = {archive.root, "--recursive", "--jobs", "2", "--progress=plain"};
    args.insert(args.end(), kSettingArgs.begin(), kSettingArgs.end());
    auto withOut = [&](const std::string& out) {
        std::vector<std::string> all = {"batch", "--out", out};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    };
    const std::string whole = Path("whole"), stopped = Path("stopped");
    {
        BackgroundRun run(withOut(whole), Path("whole.log"));
        ASSERT_EQ(run.wait(), 0) << FileBytes(Path("whole.log"));
    }

    BackgroundRun run(withOut(stopped), Path("stopped.log"));
    while (Count(FileBytes(stopped + "/qzmb-manifest.jsonl"), "\"status\":\"done\"") < 6)
        usleep(2000);  // ctest's timeout ends a batch that never gets there
    for (int number : GetParam().signals) {
        run.signal(number);
        usleep(20000);
    }
    const int status = run.wait();
    const std::string log = FileBytes(Path("stopped.log"));
    if (GetParam().signals[0] == SIGKILL) {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    } else {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << "status " << status << "\n" << log;
        EXPECT_NE(log.find("stopped: interrupted"), std::string::npos) << log;
        EXPECT_EQ(TemporariesUnder(stopped), std::vector<std::string>{}) << log;
        // What is there is whole, and the manifest says what is still to do.
        const std::string manifest = stopped + "/qzmb-manifest.jsonl";
        int present = 0;
        for (const std::string& file : archive.good) {
            const std::string line = ManifestLineFor(manifest, file);
            if (access((stopped + "/" + file).c_str(), F_OK) == 0) {
                ++present;
                EXPECT_TRUE(SameOutput(whole + "/" + file, stopped + "/" + file)) << file;
                EXPECT_NE(line.find("\"status\":\"done\""), std::string::npos) << line;
            } else {
                EXPECT_NE(line.find("\"status\":\"pending\""), std::string::npos) << line;
            }
        }
        EXPECT_GE(present, 6);
        EXPECT_LT(present, 24) << "stopped before the end";
    }

    BackgroundRun again(withOut(stopped), Path("again.log"));
    ASSERT_EQ(again.wait(), 0) << FileBytes(Path("again.log"));
    EXPECT_NE(FileBytes(Path("again.log")).find("already done"), std::string::npos);
    EXPECT_EQ(FilesUnder(stopped), FilesUnder(whole)) << "the same files and no temporary one";
    ExpectSameOutputs(whole, stopped, archive.good);
    EXPECT_EQ(ComparableManifest(stopped), ComparableManifest(whole));
}

INSTANTIATE_TEST_SUITE_P(Signals, QzmbBatchStops,
                         ::testing::Values(Stop{"SigintFinishesTheRunningFiles", {SIGINT}},
                                           Stop{"ASecondSigintAbandonsThem", {SIGINT, SIGINT}},
                                           Stop{"SigtermAbandonsThem", {SIGTERM}},
                                           Stop{"SigkillLeavesTheRestToTheNextRun", {SIGKILL}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QzmbBatch, ARunAgainSkipsWhatIsDoneAndNeverReplacesOtherOutputs)
{
    const Archive archive = MakeArchive(Path("archive"), 12, 2000, false);
    const std::string out = Path("out"), first = Path("first.wav");
    const std::string batch = "batch " + archive.root + " --recursive --out " + out + " --jobs 2 --progress=plain ";
    ASSERT_EQ(RunQzmb(batch + kSettings).exitCode, 0);
    const std::string sample = out + "/" + archive.good[0];
    const std::string before = FileBytes(sample);

    RunResult run = RunQzmb(batch + kSettings);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Count(run.output, ": already done"), 12) << run.output;

    // Other settings would make other outputs: refused, each in one line, files kept.
    run = RunQzmb(batch + "--set \"Ratio 1=8:1\"");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Count(run.output, sample + " exists with other content; not replaced (--overwrite replaces it)"), 2)
        << "as it failed, and in the summary\n" << run.output;
    EXPECT_EQ(FileBytes(sample), before);
    run = RunQzmb(batch + "--set \"Ratio 1=8:1\" --overwrite");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(FileBytes(sample), before);

}

TEST_F(QzmbBatch, LostOutputsAndALostManifestAreMadeAgain)
{
    const Archive archive = MakeArchive(Path("archive"), 12, 2000, false);
    const std::string out = Path("out");
    const std::string batch = "batch " + archive.root + " --recursive --out " + out + " --progress=plain " + kSettings;
    ASSERT_EQ(RunQzmb(batch).exitCode, 0);
    const std::string manifest = ComparableManifest(out);
    const std::string sample = out + "/" + archive.good[0], before = FileBytes(sample);
    unlink(sample.c_str());
    unlink((out + "/qzmb-manifest.jsonl").c_str());
    // The outputs that are there already hold what the batch writes: kept, and done.
    const RunResult run = RunQzmb(batch);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(sample), before);
    EXPECT_EQ(ComparableManifest(out), manifest);
}

TEST_F(QzmbBatch, AnInputChangedWhileItIsProcessedIsNotWritten)
{
    const std::string in = Path("long.wav"), out = Path("out");
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, MakeSignal(120 * 44100, 1));
    BackgroundRun run({"batch", in, "--out", out, "--progress=plain"}, Path("log"));
    const auto writingTheOutput = [](const std::string& name) { return name.find(".long.wav.qzmb-") == 0; };
    while (EntriesUnder(out, writingTheOutput).empty())
        usleep(500);
    ASSERT_EQ(utimensat(AT_FDCWD, in.c_str(), nullptr, 0), 0);  // as an editor saving it would
    EXPECT_EQ(WEXITSTATUS(run.wait()), 1);
    const std::string log = FileBytes(Path("log"));
    EXPECT_EQ(Count(log, in + " changed while it was processed; its output was not written"), 2) << log;
    EXPECT_EQ(FilesUnder(out), std::vector<std::string>{"qzmb-manifest.jsonl"});
}

// --- Lists and names ----------------------------------------------------------------------

TEST_F(QzmbBatch, NamesWithoutAnOutputOfTheirOwnAreRefusedOnce)
{
    const Archive archive = MakeArchive(Path("archive"), 4, 1000, false);
    const std::string a = archive.root + "/" + archive.good[0], b = archive.root + "/" + archive.good[1];
    mkdir(Path("other").c_str(), 0755);
    const std::string twin = Path("other/") + archive.good[0].substr(archive.good[0].find_last_of('/') + 1);
    std::system(("cp " + a + " " + twin).c_str());  // the same name, another file
    std::ofstream(Path("list")) << b << "\n../outside.wav\n\n" << archive.root << "\n";
    const std::string out = Path("out");
    const RunResult run = RunQzmb("batch " + a + " " + twin + " " + archive.root + " --from - --out " + out +
                                      " --progress=plain --format flac",
                                  "cat " + Path("list") + " | ");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Count(run.output, twin + ": its output"), 2) << run.output;
    EXPECT_EQ(Count(run.output, "../outside.wav: a path with \"..\" would write outside the output folder"), 2)
        << run.output;
    EXPECT_EQ(Count(run.output, archive.root + " is a folder; --recursive processes the files in it"), 4)
        << "given on the line and in the list\n" << run.output;
    // A file given directly keeps its name; a listed one its path; --format names the container.
    const std::string listed = b.substr(1, b.rfind('.') - 1) + ".flac";
    const std::string direct = a.substr(a.find_last_of('/') + 1, a.rfind('.') - a.find_last_of('/') - 1) + ".flac";
    std::vector<std::string> expected = {direct, listed, "qzmb-manifest.jsonl"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesUnder(out), expected);
    EXPECT_EQ(ReadFile(out + "/" + direct).info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
}

TEST_F(QzmbBatch, WrongCommandLinesExitWithTwoAndSayWhatIsWrong)
{
    const std::string in = Path("in.wav");
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, MakeSignal(1000, 2));
    const std::string out = " --out " + Path("out");
    struct Case {
        std::string arguments, says;
    };
    const Case cases[] = {
        {"batch " + in, "batch needs --out DIR"},
        {"batch" + out, "batch needs input files or folders"},
        {"batch " + in + out + " --jobs 0", "--jobs takes a number of jobs from 1 to 64, not \"0\""},
        {"batch " + in + out + " --jobs=two", "--jobs takes a number of jobs from 1 to 64, not \"two\""},
        {"batch " + in + out + " --shard 4/3", "--shard takes K/N, 1 <= K <= N, not \"4/3\""},
        {"batch " + in + out + " --shard 1", "--shard takes K/N"},
        {"batch " + in + out + " --format mp3", "--format takes wav, aiff or flac, not \"mp3\""},
        {"batch " + in + out + " --progress=loud", "--progress takes auto, plain or none"},
        {"batch " + in + out + " --plot p.png", "--plot takes a folder, not p.png"},
        {"batch " + in + out + " --recursive=yes", "--recursive takes no value"},
        {"batch " + in + out + " --sett x", "unknown option --sett"},
        {"batch " + in + out + " --set Nothing=1", "Nothing"},
        {"batch " + in + out + " --jobs", "option --jobs needs a value"},
        {"manifest", "manifest takes one command: merge"},
        {"manifest merge", "manifest merge needs the manifests"},
        {"process " + in + " " + Path("o.wav") + " --plot " + Path("p.jpg"), "end its name in .png"},
    };
    for (const Case& c : cases) {
        const RunResult run = RunQzmb(c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.arguments << "\n" << run.output;
    }
    EXPECT_EQ(access(Path("out").c_str(), F_OK), -1) << "nothing made";
}

// --- Shares for many machines --------------------------------------------------------------

TEST_F(QzmbBatch, ThreeSharesMergedEqualOneRun)
{
    const Archive archive = MakeArchive(Path("archive"), 30, 1500, false);
    const std::string whole = Path("whole"), shared = Path("shared");
    const std::string batch = "batch " + archive.root + " --recursive --progress=none " + kSettings;
    ASSERT_EQ(RunQzmb(batch + " --out " + whole).exitCode, 0);
    int lines = 0;
    for (int shard = 1; shard <= 3; ++shard) {
        const RunResult run = RunQzmb(batch + " --out " + shared + " --shard " + std::to_string(shard) + "/3");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const std::string manifest = FileBytes(shared + "/qzmb-manifest-" + std::to_string(shard) + "-of-3.jsonl");
        EXPECT_GT(Count(manifest, "\"status\":\"done\""), 3) << "each share does its part";
        lines += Count(manifest, "\"status\":\"done\"");
    }
    EXPECT_EQ(lines, 30) << "the shares do not overlap";
    const std::string merged = shared + "/qzmb-manifest.jsonl";
    const std::string m1 = shared + "/qzmb-manifest-1-of-3.jsonl", m2 = shared + "/qzmb-manifest-2-of-3.jsonl",
                      m3 = shared + "/qzmb-manifest-3-of-3.jsonl";
    RunResult run = RunQzmb("manifest merge " + m1 + " " + m2 + " " + m3 + " --out " + merged);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("30 files, 30 done, 0 problems"), std::string::npos) << run.output;
    EXPECT_EQ(ComparableManifest(shared), ComparableManifest(whole));
    ExpectSameOutputs(whole, shared, archive.good);

    run = RunQzmb("manifest merge " + m1 + " " + m3);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("missing: share 2/3 (no manifest given for it)"), std::string::npos) << run.output;
    run = RunQzmb("manifest merge " + m1 + " " + m2 + " " + m3 + " " + m2 + " --out " + Path("twice.jsonl"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("share 2/3 is given twice"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("duplicated: "), std::string::npos) << run.output;
    run = RunQzmb("manifest merge " + m1 + " " + whole + "/qzmb-manifest.jsonl");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("is a manifest of another batch"), std::string::npos) << run.output;
}

// The README's recipe for many machines, word for word, with the machines played by
// local jobs of GNU parallel and the paths put in the test's folder.
TEST_F(QzmbBatch, TheReadmeRecipeRunsTheSharesThroughGnuParallel)
{
    std::ifstream readme(QZ_README_PATH);
    std::string text((std::istreambuf_iterator<char>(readme)), {});
    const std::string marker = "<!-- the shares recipe, run by the batch tests -->\n```\n";
    const size_t start = text.find(marker);
    ASSERT_NE(start, std::string::npos) << "the recipe in " << QZ_README_PATH;
    std::string recipe = text.substr(start + marker.size());
    recipe = recipe.substr(0, recipe.find("```"));

    const Archive archive = MakeArchive(Path("archive"), 21, 1500, false);
    const std::string record = Path("settings.rec");
    ASSERT_EQ(RunQzmb("record " + record + " " + kSettings).exitCode, 0);
    const std::pair<std::string, std::string> stand_ins[] = {
        {"node1,node2,node3", ":,:,:"},     {"/archive-out", Path("out")}, {"/archive", archive.root},
        {"/settings.rec", record},           {"qzmb ", std::string(QZMB_PATH) + " "},
    };
    for (const auto& stand_in : stand_ins)
        recipe = std::regex_replace(recipe, std::regex(stand_in.first), stand_in.second);
    std::ofstream(Path("recipe.sh")) << recipe;
    ASSERT_EQ(std::system(("bash -e " + Path("recipe.sh") + " >" + Path("recipe.log") + " 2>&1").c_str()), 0)
        << recipe << FileBytes(Path("recipe.log"));

    const RunResult whole = RunQzmb("batch " + archive.root + " --recursive --progress=none --out " + Path("whole") +
                                    " --record " + record);
    ASSERT_EQ(whole.exitCode, 0) << whole.output;
    EXPECT_EQ(ComparableManifest(Path("out")), ComparableManifest(Path("whole")));
    ExpectSameOutputs(Path("whole"), Path("out"), archive.good);
}

// --- A full file system --------------------------------------------------------------------

TEST_F(QzmbBatch, AFullDiskStopsTheBatchWithWholeOutputsOnly)
{
    const std::string out = Path("small");
    mkdir(out.c_str(), 0755);
    if (geteuid() != 0 || mount("qzmb-test", out.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{out};
    const Archive archive = MakeArchive(Path("archive"), 10, 60000, false);  // about 2.4 MB of outputs
    const std::string batch =
        "batch " + archive.root + " --recursive --out " + out + " --jobs 2 --progress=plain " + kSettings;
    RunResult run = RunQzmb(batch);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("is full"), std::string::npos) << run.output;
    EXPECT_EQ(TemporariesUnder(out), std::vector<std::string>{}) << run.output;
    const std::string reference = Path("reference");
    ProcessOneByOne(archive, reference);
    int whole = 0;
    for (const std::string& file : archive.good)
        if (access((out + "/" + file).c_str(), F_OK) == 0) {
            ++whole;
            EXPECT_TRUE(SameOutput(reference + "/" + file, out + "/" + file)) << file;
        }
    EXPECT_LT(whole, 10);

    ASSERT_EQ(mount("qzmb-test", out.c_str(), "tmpfs", MS_REMOUNT, "size=8m"), 0);
    run = RunQzmb(batch);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    ExpectSameOutputs(reference, out, archive.good);
}

// --- What a terminal shows ------------------------------------------------------------------

TEST_F(QzmbBatch, OnATerminalTheStatusLineUpdatesInPlace)
{
    const Archive archive = MakeArchive(Path("archive"), 20, 10 * 44100, false);
    // script(1) gives qzmb a terminal of its own.
    const std::string command = std::string(QZMB_PATH) + " batch " + archive.root + " --recursive --jobs 1 --out " +
                                Path("out") + " " + std::regex_replace(kSettings, std::regex("\""), "\\\"");
    const int status = std::system(("script -qec \"" + command + "\" " + Path("typescript") + " >/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string shown = FileBytes(Path("typescript"));
    EXPECT_GT(Count(shown, "\rqzmb batch: "), 1) << shown;
    EXPECT_NE(shown.find(" files, "), std::string::npos);
    EXPECT_NE(shown.find("x real time"), std::string::npos);
    EXPECT_NE(shown.find(", ETA "), std::string::npos) << shown;
    EXPECT_EQ(Count(shown, ": done, "), 0) << "no line per file on a terminal";
    EXPECT_TRUE(std::regex_search(shown, std::regex("\n  done +20 "))) << shown;
}


// --- Signals while a file runs --------------------------------------------------------------

struct Interruption {
    const char* name;
    int signal;
    bool abandons;  // the running file is left undone; otherwise it is finished
};

class QzmbBatchSignals : public QzmbBatch, public ::testing::WithParamInterface<Interruption> {};

TEST_P(QzmbBatchSignals, TheRunningFileIsFinishedOrAbandonedAsTheSignalAsks)
{
    const std::string in = Path("in"), out = Path("out");
    ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
    WriteFile(in + "/a-long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, MakeSignal(120 * 44100, 1));
    WriteFile(in + "/b-short.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, MakeSignal(4410, 1));
    BackgroundRun run({"batch", in, "--recursive", "--jobs", "1", "--out", out, "--progress=plain"}, Path("log"));
    const auto writingTheLongOne = [](const std::string& name) { return name.find(".a-long.wav.qzmb-") == 0; };
    while (EntriesUnder(out, writingTheLongOne).empty())
        usleep(500);
    run.signal(GetParam().signal);
    const int status = run.wait();
    const std::string log = FileBytes(Path("log"));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << "status " << status << "\n" << log;
    EXPECT_NE(log.find("stopped: interrupted"), std::string::npos) << log;
    EXPECT_EQ(TemporariesUnder(out), std::vector<std::string>{}) << log;

    const std::string manifest = out + "/qzmb-manifest.jsonl";
    const bool finished = !GetParam().abandons;
    EXPECT_EQ(access((out + "/a-long.wav").c_str(), F_OK) == 0, finished) << log;
    EXPECT_NE(ManifestLineFor(manifest, "a-long.wav").find(finished ? "\"status\":\"done\"" : "\"status\":\"pending\""),
              std::string::npos)
        << FileBytes(manifest);
    EXPECT_NE(ManifestLineFor(manifest, "b-short.wav").find("\"status\":\"pending\""), std::string::npos)
        << "no file starts after a signal\n" << FileBytes(manifest);
}

INSTANTIATE_TEST_SUITE_P(Signals, QzmbBatchSignals,
                         ::testing::Values(Interruption{"SigintFinishesIt", SIGINT, false},
                                           Interruption{"SigtermAbandonsIt", SIGTERM, true},
                                           Interruption{"SighupAbandonsIt", SIGHUP, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The summary, the manifest's meters, quiet progress -------------------------------------

// The test signal at `gain`, its channels swapped when `louderRight`. At gain 1 the
// settings' output gain drives the limiter; at kQuiet nothing comes near it.
constexpr double kQuiet = 0.05;

void WriteSignal(const std::string& path, int format, int channels, int frames, double gain, bool louderRight = false)
{
    std::vector<double> samples = MakeSignal(frames, channels);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] *= gain;
    if (louderRight)
        for (size_t i = 0; i + 1 < samples.size(); i += 2)
            std::swap(samples[i], samples[i + 1]);
    WriteFile(path, format, channels, samples);
}

// A manifest line's field as its JSON text.
std::string FieldOf(const std::string& line, const std::string& name)
{
    std::smatch match;
    const std::regex field("\"" + name + "\":(\\[[^\\]]*\\]|[^,}]*)");
    return std::regex_search(line, match, field) ? match[1].str() : "";
}

std::string Joined(std::vector<std::string>::const_iterator first, std::vector<std::string>::const_iterator last,
                   const std::string& separator)
{
    std::string text;
    for (auto name = first; name != last; ++name)
        text += (name == first ? "" : separator) + *name;
    return text;
}

TEST_F(QzmbBatch, TheSummaryNamesTheSlowestFileAndTheFilesThatWentOver)
{
    const std::string in = Path("in"), out = Path("out");
    ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
    std::vector<std::string> loud;
    for (int i = 0; i < 12; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "loud-%02d.wav", i);
        loud.push_back(name);
        // One file takes far longer than the others, even when the machine is busy.
        const int frames = i == 7 ? 120 * 44100 : 4410;
        WriteSignal(in + "/" + name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, frames, 1.0);
    }
    for (const char* name : {"quiet-1.wav", "quiet-2.wav"})
        WriteSignal(in + "/" + name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 4410, kQuiet);
    const RunResult run =
        RunQzmb("batch " + in + " --recursive --out " + out + " --jobs 2 --progress=none " + kSettings);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    // The manifest says which went over and how long each took.
    std::vector<std::string> overInManifest;
    std::string slowestInManifest;
    double longestWall = -1.0;
    for (const std::string& line : Lines(FileBytes(out + "/qzmb-manifest.jsonl"))) {
        const std::string output = FieldOf(line, "output");
        if (output.empty())
            continue;  // the header
        if (FieldOf(line, "over") == "true")
            overInManifest.push_back(output.substr(1, output.size() - 2));
        const double wall = std::stod(FieldOf(line, "wall_seconds"));
        if (wall > longestWall)
            longestWall = wall, slowestInManifest = output.substr(1, output.size() - 2);
    }
    ASSERT_EQ(overInManifest, loud) << "the settings drive the loud files over and leave the quiet ones";
    EXPECT_EQ(slowestInManifest, "loud-07.wav");

    // The first ten names in order, then how many more.
    const std::string overRow = "\n  over +12   " + Joined(loud.begin(), loud.begin() + 10, ", ") +
                                " and 2 more \\(the manifest lists them\\)\n";
    EXPECT_TRUE(std::regex_search(run.output, std::regex(overRow))) << run.output;

    std::smatch slowest;
    ASSERT_TRUE(std::regex_search(run.output, slowest,
                                  std::regex("\n  slowest +loud-07\\.wav: ([0-9.]+) s for 2:00\\.0 of audio "
                                             "\\(([0-9]+)x real time\\)\n")))
        << run.output;
    const double wall = std::stod(slowest[1].str()), speed = std::stod(slowest[2].str());
    const double exact = 120.0 / wall, leeway = 0.5 + exact * 0.005 / wall;  // the row rounds both figures
    EXPECT_NEAR(speed, exact, leeway) << "the row's speed is its audio over its wall time";
}

TEST_F(QzmbBatch, ManifestMetersAreWhatTheEngineReportsForEachFile)
{
    const std::string in = Path("in"), out = Path("out"), again = Path("again");
    ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(again.c_str(), 0755), 0);
    WriteSignal(in + "/loud-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 30000, 1.0, true);
    WriteSignal(in + "/loud-mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 30000, 1.0);
    WriteSignal(in + "/quiet-stereo.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 30000, kQuiet, true);
    std::vector<double> damaged = MakeSignal(30000, 1);
    for (int i : {100, 2000, 2001, 15000, 29999})
        damaged[i] = NAN;
    damaged[7000] = INFINITY, damaged[8000] = -INFINITY;
    WriteFile(in + "/nonfinite.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, damaged);
    const RunResult batch = RunQzmb("batch " + in + " --recursive --out " + out + " --progress=none " + kSettings);
    ASSERT_EQ(batch.exitCode, 0) << batch.output;

    std::set<std::string> overSeen;
    for (const char* name : {"loud-stereo.wav", "loud-mono.flac", "quiet-stereo.aiff", "nonfinite.wav"}) {
        SCOPED_TRACE(name);
        const std::string line = ManifestLineFor(out + "/qzmb-manifest.jsonl", name);
        // A second run of the engine on the same file, as qzmb process reports it.
        const RunResult process =
            RunQzmb("process " + in + "/" + name + " " + again + "/" + name + " " + kSettings);
        ASSERT_EQ(process.exitCode, 0) << process.output;

        std::vector<std::string> deepest;
        const std::regex bandRow("\n  [1-5] +\\S+ +\\S+ +(\\S+)");
        for (std::sregex_iterator row(process.output.begin(), process.output.end(), bandRow), end; row != end; ++row)
            deepest.push_back((*row)[1].str());
        ASSERT_EQ(deepest.size(), 5u) << process.output;
        EXPECT_EQ(FieldOf(line, "band_gain_db"), "[" + Joined(deepest.begin(), deepest.end(), ",") + "]")
            << line << "\n" << process.output;

        std::smatch peaks;
        ASSERT_TRUE(std::regex_search(process.output, peaks,
                                      std::regex("output peak: (\\S+) dBFS left, (\\S+) dBFS right")));
        const double reported = std::max(std::stod(peaks[1].str()), std::stod(peaks[2].str()));
        const double written = std::stod(FieldOf(line, "output_peak_dbfs"));
        EXPECT_DOUBLE_EQ(written, reported) << "the louder channel's peak\n" << line << "\n" << process.output;
        double measured = 0.0;
        for (double sample : ReadFile(out + "/" + name).samples)
            measured = std::max(measured, std::fabs(sample));
        EXPECT_NEAR(written, 20.0 * std::log10(measured), 0.006) << "the peak of the output as written";

        const bool over = process.output.find("\n  over: yes") != std::string::npos;
        EXPECT_EQ(FieldOf(line, "over"), over ? "true" : "false") << process.output;
        overSeen.insert(over ? "over" : "not over");

        std::smatch nonFinite;
        ASSERT_TRUE(std::regex_search(process.output, nonFinite, std::regex("non-finite input samples: ([0-9]+)")));
        EXPECT_EQ(FieldOf(line, "nonfinite_samples"), nonFinite[1].str());
        EXPECT_EQ(FieldOf(line, "nonfinite_samples"), std::string(name) == "nonfinite.wav" ? "7" : "0");
    }
    EXPECT_EQ(overSeen.size(), 2u) << "files that went over and files that did not";
}

TEST_F(QzmbBatch, WithProgressNoneOnlyFailuresReachStandardError)
{
    const Archive archive = MakeArchive(Path("archive"), 6, 2000, false);
    const std::string batch = std::string(QZMB_PATH) + " batch " + archive.root + " --recursive --out " + Path("out") +
                              " --jobs 2 --progress=none " + kSettings + " 2>" + Path("stderr");
    RunResult run = RunShellCommand("(" + batch + ")");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(Path("stderr")), "");
    EXPECT_TRUE(std::regex_search(run.output, std::regex("\n  done +6 "))) << "the summary on standard output\n"
                                                                           << run.output;

    // A failure is not progress: it keeps its line.
    std::ofstream(archive.root + "/garbage.wav") << "not audio\n";
    run = RunShellCommand("(" + batch + ")");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const std::string errors = FileBytes(Path("stderr"));
    EXPECT_EQ(Count(errors, "\n"), 1) << errors;
    EXPECT_NE(errors.find("] failed: cannot read " + archive.root + "/garbage.wav"), std::string::npos) << errors;
}

} // namespace
} // namespace qz
