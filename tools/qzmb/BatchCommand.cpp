#include "BatchCommand.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "ContentHash.h"
#include "FilePaths.h"
#include "FileProcessor.h"
#include "Interruption.h"
#include "JobRunner.h"
#include "LevelPlot.h"
#include "LevelTrace.h"
#include "Manifest.h"
#include "OutputFile.h"

namespace qz::cli {

namespace {

constexpr int kMaxJobs = 64;  // two temporary files each, well within what a signal can clean
constexpr int kFailed = 1;
constexpr int kStopped = 130;  // the shell's status for a program ended by SIGINT

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool ChangedBetween(const struct stat& before, const struct stat& after)
{
    return before.st_dev != after.st_dev || before.st_ino != after.st_ino || before.st_size != after.st_size ||
           before.st_mtim.tv_sec != after.st_mtim.tv_sec || before.st_mtim.tv_nsec != after.st_mtim.tv_nsec;
}

// Removes the temporary files that a killed run left beside these final paths. They
// are hidden files named after the path they were to become (see OutputFile).
size_t RemoveStaleTemporaries(const std::vector<std::string>& paths)
{
    std::map<std::string, std::set<std::string>> namesByFolder;
    for (const std::string& path : paths)
        namesByFolder[ParentFolder(path)].insert(BaseName(path));
    const std::string marker = ".qzmb-";
    size_t removed = 0;
    for (const auto& folder : namesByFolder) {
        DIR* dir = opendir(folder.first.c_str());
        if (dir == nullptr)
            continue;
        std::vector<std::string> stale;
        for (dirent* entry; (entry = readdir(dir)) != nullptr;) {
            const std::string name = entry->d_name;
            const size_t at = name.rfind(marker);
            if (name[0] == '.' && at != std::string::npos && at > 1 && name.size() == at + marker.size() + 6 &&
                folder.second.count(name.substr(1, at - 1)) != 0)
                stale.push_back(JoinPath(folder.first, name));
        }
        closedir(dir);
        for (const std::string& path : stale)
            removed += unlink(path.c_str()) == 0;
    }
    return removed;
}

// A failure names its input, so that a summary line says which file it is about.
std::string Named(const BatchInput& input, const std::string& problem)
{
    return problem.find(input.input) != std::string::npos ? problem : input.input + ": " + problem;
}

// What a done file's manifest line says of it.
void RecordDone(const ProcessReport& report, const std::string& plotPath, double wallSeconds, ManifestEntry& entry)
{
    entry.status = "done";
    entry.plot = plotPath;
    entry.frames = report.frames;
    entry.sampleRate = report.sampleRate;
    entry.channels = report.channels;
    for (int b = 0; b < kBandCount; ++b)
        entry.bandGain[b] = report.loudest.band[b].gain;
    entry.outputPeak = std::max(report.loudest.outputLeft, report.channels == 2 ? report.loudest.outputRight : 0.0);
    entry.over = report.over;
    entry.nonFiniteSamples = report.nonFiniteSamples;
    entry.engine = EngineVersion();
    entry.wallSeconds = wallSeconds;
}

// One batch: the files of this share, each processed by one job.
class BatchRun {
public:
    BatchRun(const BatchOptions& options, const ParamBlock& settings, const std::vector<std::string>& settingsFiles,
             ManifestFile& manifest, BatchProgress& progress)
        : m_options(options),
          m_settings(settings),
          m_settingsHex(SettingsHex(settings)),
          m_settingsFiles(settingsFiles),
          m_manifest(manifest),
          m_progress(progress)
    {
    }

    FileOutcome runOne(size_t job, const BatchInput& input)
    {
        const double start = Now();
        FileOutcome outcome;
        outcome.input = input.input;
        outcome.output = input.output;
        ManifestEntry entry;
        entry.output = input.output;
        entry.input = input.input;
        entry.settings = m_settingsHex;
        attempt(job, input, start, entry, outcome);
        outcome.wallSeconds = Now() - start;
        if (outcome.kind == FileOutcome::Kind::Failed) {
            entry.status = "failed";
            entry.error = outcome.problem;
            recordInManifest(entry);
        }
        return outcome;
    }

    bool keepStarting() const { return CurrentStopRequest() == StopRequest::None && !m_stopped.load(); }

    std::string stopReason() const
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_stopReason;
    }

private:
    void stop(const std::string& reason)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_stopReason.empty())
            m_stopReason = reason;
        m_stopped = true;
    }

    // Appends the entry; a batch that cannot keep its record stops.
    std::string recordInManifest(const ManifestEntry& entry)
    {
        bool diskFull = false;
        const std::string problem = m_manifest.append(entry, &diskFull);
        if (!problem.empty())
            stop(diskFull ? "the file system of " + m_options.outputFolder + " is full" : problem);
        return problem;
    }

    static bool Abandoning() { return CurrentStopRequest() == StopRequest::AbandonRunning; }

    void attempt(size_t job, const BatchInput& input, double start, ManifestEntry& entry, FileOutcome& outcome)
    {
        const std::string outputPath = JoinPath(m_options.outputFolder, input.output);
        const std::string plotPath =
            m_options.plotFolder.empty() ? "" : JoinPath(m_options.plotFolder, input.output + ".png");
        auto fail = [&](const std::string& problem) {
            outcome.kind = FileOutcome::Kind::Failed;
            outcome.problem = Named(input, problem);
        };

        struct stat before;
        if (stat(input.input.c_str(), &before) != 0)
            return fail("cannot read " + input.input + ": " + std::strerror(errno));
        if (!S_ISREG(before.st_mode))
            return fail(input.input + " is " + KindOfFile(before.st_mode) + "; a batch reads regular files only");
        std::string problem;
        entry.inputSize = before.st_size;
        // The input is hashed before processing only when the manifest may say it is done;
        // otherwise after, when its bytes are in the page cache, and an input refused at
        // once (too large, say) is never read through.
        const auto previous = m_manifest.find(input.output);
        if (previous && previous->done() && previous->inputSize == entry.inputSize) {
            if (!hashInput(input, entry, problem))
                return fail(problem);
            if (alreadyDone(*previous, entry, outputPath, plotPath)) {
                outcome.kind = FileOutcome::Kind::AlreadyDone;
                return;
            }
        }

        problem = MakeFolders(ParentFolder(outputPath));
        if (problem.empty() && !plotPath.empty())
            problem = MakeFolders(ParentFolder(plotPath));
        if (!problem.empty())
            return fail(problem);
        OutputFile output;
        ProcessReport report;
        LevelTrace trace;
        ProcessHooks hooks;
        hooks.progress = [&](double fraction) { m_progress.running(job, input.size, fraction); };
        hooks.stop = Abandoning;
        if (!plotPath.empty())
            hooks.trace = &trace;
        problem = ProcessIntoTemporary(input.input, outputPath, m_settingsFiles, m_settings, output, report, hooks);
        if (!problem.empty()) {
            if (Abandoning())
                return;  // not done: the manifest keeps saying so
            if (report.diskFull)
                stop("the file system of " + outputPath + " is full");
            return fail(problem);
        }
        std::vector<std::string> readFiles = m_settingsFiles;
        readFiles.push_back(input.input);
        OutputFile picture;
        if (!plotPath.empty()) {
            problem = DrawLevelPlot(trace, m_settings, input.output, plotPath, readFiles, picture);
            if (!problem.empty())
                return fail(problem);
        }

        entry.outputHash = HashDescriptor(output.descriptor(), problem);
        if (entry.outputHash.empty())
            return fail("cannot read " + outputPath + " back: " + problem);
        std::string pictureHash;
        if (!plotPath.empty() && (pictureHash = HashDescriptor(picture.descriptor(), problem)).empty())
            return fail("cannot read " + plotPath + " back: " + problem);
        if (entry.inputHash.empty() && !hashInput(input, entry, problem))
            return fail(problem);
        struct stat after;
        if (stat(input.input.c_str(), &after) != 0 || ChangedBetween(before, after))
            return fail(input.input + " changed while it was processed; its output was not written");
        bool keepOutput = false, keepPicture = false;
        problem = placement(outputPath, entry.outputHash, keepOutput);
        if (problem.empty() && !plotPath.empty())
            problem = placement(plotPath, pictureHash, keepPicture);
        if (!problem.empty())
            return fail(problem);

        RecordDone(report, plotPath, Now() - start, entry);
        // The line goes first: a run killed before the rename finds the line but not the
        // output, and does the file again.
        problem = recordInManifest(entry);
        if (!problem.empty())
            return fail(problem);
        problem = place(output, keepOutput);
        if (problem.empty() && !plotPath.empty())
            problem = place(picture, keepPicture);
        if (!problem.empty())
            return fail(problem);
        outcome.kind = FileOutcome::Kind::Done;
        outcome.audioSeconds = report.sampleRate > 0 ? static_cast<double>(report.frames) / report.sampleRate : 0.0;
        outcome.over = report.over;
    }

    static bool hashInput(const BatchInput& input, ManifestEntry& entry, std::string& problem)
    {
        std::string why;
        entry.inputHash = HashFile(input.input, why);
        if (entry.inputHash.empty())
            problem = "cannot read " + input.input + ": " + why;
        return !entry.inputHash.empty();
    }

    // Whether the manifest's line says this very work was done and its output is there.
    bool alreadyDone(const ManifestEntry& previous, const ManifestEntry& now, const std::string& outputPath,
                     const std::string& plotPath) const
    {
        if (!previous.done() || previous.inputHash != now.inputHash || previous.inputSize != now.inputSize ||
            previous.settings != now.settings || previous.engine != EngineVersion())
            return false;
        if (!plotPath.empty() && (previous.plot != plotPath || access(plotPath.c_str(), F_OK) != 0))
            return false;
        std::string problem;
        return HashFile(outputPath, problem) == previous.outputHash;
    }

    // Whether a finished file may take its place. An existing file is replaced only with
    // --overwrite; without it, one with the same content is kept (`keep`: the work was
    // done before), and one with other content is a failure.
    std::string placement(const std::string& path, const std::string& hash, bool& keep) const
    {
        keep = false;
        struct stat existing;
        if (m_options.overwrite || lstat(path.c_str(), &existing) != 0)
            return "";
        std::string problem;
        if (HashFile(path, problem) == hash) {
            keep = true;
            return "";
        }
        return path + " exists with other content; not replaced (--overwrite replaces it)";
    }

    std::string place(OutputFile& file, bool keep) const
    {
        if (keep) {
            file.discard();
            return "";
        }
        return m_options.overwrite ? file.commit() : file.commitAsNew();
    }

    const BatchOptions& m_options;
    const ParamBlock& m_settings;
    const std::string m_settingsHex;
    const std::vector<std::string>& m_settingsFiles;
    ManifestFile& m_manifest;
    BatchProgress& m_progress;

    std::atomic<bool> m_stopped{false};
    mutable std::mutex m_mutex;
    std::string m_stopReason;
};

int Failure(const std::string& problem)
{
    std::fprintf(stderr, "qzmb batch: %s\n", problem.c_str());
    return kFailed;
}

bool ParseInteger(const std::string& text, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

std::string ParseShard(const std::string& text, int& shard, int& count)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos || !ParseInteger(text.substr(0, slash), shard) ||
        !ParseInteger(text.substr(slash + 1), count) || count < 1 || shard < 1 || shard > count)
        return "--shard takes K/N, 1 <= K <= N, not \"" + text + "\"";
    return "";
}

std::string ApplyBatchOption(const std::string& name, const std::string& value, BatchOptions& options)
{
    if (name == "--out") {
        options.outputFolder = value;
        options.sources.outputFolder = value;
    } else if (name == "--from") {
        options.sources.lists.push_back(value);
    } else if (name == "--format") {
        if (value != "wav" && value != "aiff" && value != "flac")
            return "--format takes wav, aiff or flac, not \"" + value + "\"";
        options.sources.format = value;
    } else if (name == "--jobs") {
        if (!ParseInteger(value, options.jobs) || options.jobs < 1 || options.jobs > kMaxJobs)
            return "--jobs takes a number of jobs from 1 to " + std::to_string(kMaxJobs) + ", not \"" + value + "\"";
    } else if (name == "--shard") {
        return ParseShard(value, options.shard, options.shardCount);
    } else if (name == "--progress") {
        if (value == "plain")
            options.progress = ProgressStyle::Plain;
        else if (value == "none")
            options.progress = ProgressStyle::None;
        else if (value == "auto")
            options.progress = isatty(STDERR_FILENO) ? ProgressStyle::Terminal : ProgressStyle::Plain;
        else
            return "--progress takes auto, plain or none, not \"" + value + "\"";
    } else if (name == "--plot") {
        if (value.size() > 4 && value.compare(value.size() - 4, 4, ".png") == 0)
            return "a batch draws one picture per file: --plot takes a folder, not " + value;
        options.plotFolder = value;
    }
    return "";
}

} // namespace

std::string ManifestName(int shard, int shardCount)
{
    if (shardCount == 1)
        return "qzmb-manifest.jsonl";
    return "qzmb-manifest-" + std::to_string(shard) + "-of-" + std::to_string(shardCount) + ".jsonl";
}

std::string ParseBatchOptions(const std::vector<std::string>& args, BatchOptions& options,
                              std::vector<std::string>& settingsArgs)
{
    static const std::set<std::string> kFlags = {"--recursive", "--overwrite"};
    static const std::set<std::string> kValued = {"--out",      "--from",     "--format", "--jobs",
                                                  "--shard",    "--progress", "--plot"};
    options = BatchOptions{};
    options.progress = isatty(STDERR_FILENO) ? ProgressStyle::Terminal : ProgressStyle::Plain;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.compare(0, 2, "--") != 0) {
            options.sources.arguments.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (kFlags.count(name) != 0) {
            if (equals != std::string::npos)
                return name + " takes no value";
            (name == "--recursive" ? options.sources.recursive : options.overwrite) = true;
            continue;
        }
        if (kValued.count(name) == 0) {
            // A settings option and its value.
            settingsArgs.push_back(arg);
            if (i + 1 < args.size())
                settingsArgs.push_back(args[++i]);
            continue;
        }
        std::string value;
        if (equals != std::string::npos)
            value = arg.substr(equals + 1);
        else if (i + 1 < args.size())
            value = args[++i];
        else
            return "option " + name + " needs a value";
        const std::string problem = ApplyBatchOption(name, value, options);
        if (!problem.empty())
            return problem;
    }
    if (options.outputFolder.empty())
        return "batch needs --out DIR, the folder for the outputs";
    if (options.sources.arguments.empty() && options.sources.lists.empty())
        return "batch needs input files or folders (or --from LIST)";
    return "";
}

int RunBatch(const BatchOptions& options, const ParamBlock& settings, const std::vector<std::string>& settingsFiles)
{
    // From here on Ctrl-C stops the batch in order instead of ending the program.
    StopCooperatively();
    std::signal(SIGPIPE, SIG_IGN);  // a closed log pipe must not kill the jobs mid-file

    GatheredInputs gathered;
    std::string problem = GatherInputs(options.sources, gathered);
    if (!problem.empty())
        return Failure(problem);
    std::vector<BatchInput> share;
    int64_t shareBytes = 0;
    for (const BatchInput& input : gathered.inputs)
        if (ShardOf(input.output, options.shardCount) == options.shard) {
            share.push_back(input);
            shareBytes += input.size;
        }
    // A refused name belongs to the share its output would have; one without an output
    // to the first share, so that one machine reports it.
    std::vector<FileOutcome> listProblems;
    for (const ListProblem& refused : gathered.problems) {
        const int owner = refused.output.empty() ? 1 : ShardOf(refused.output, options.shardCount);
        if (owner == options.shard) {
            FileOutcome outcome;
            outcome.kind = FileOutcome::Kind::Failed;
            outcome.input = refused.input;
            outcome.output = refused.output;
            outcome.problem = refused.text;
            listProblems.push_back(outcome);
        }
    }

    problem = MakeFolders(options.outputFolder);
    if (!problem.empty())
        return Failure(problem);
    const std::string manifestPath = JoinPath(options.outputFolder, ManifestName(options.shard, options.shardCount));
    ManifestFile manifest;
    std::vector<std::string> notes;
    problem = manifest.open(manifestPath, notes);
    if (!problem.empty())
        return Failure(problem);
    // Every file of the share has its line from the start: a killed batch leaves a
    // manifest that names what is still to do.
    for (const BatchInput& input : share) {
        ManifestEntry pending;
        pending.output = input.output;
        pending.status = "pending";
        pending.input = input.input;
        manifest.expect(pending);
    }
    const ManifestHeader header{options.shard, options.shardCount, static_cast<int64_t>(gathered.inputs.size()),
                                ListHash(gathered.inputs)};
    problem = manifest.rewrite(header);
    if (!problem.empty())
        return Failure(problem);

    std::vector<std::string> finalPaths{manifestPath};
    for (const BatchInput& input : share) {
        finalPaths.push_back(JoinPath(options.outputFolder, input.output));
        if (!options.plotFolder.empty())
            finalPaths.push_back(JoinPath(options.plotFolder, input.output + ".png"));
    }
    const size_t stale = RemoveStaleTemporaries(finalPaths);

    const int jobs = options.jobs > 0 ? options.jobs : std::min(AvailableProcessors(), kMaxJobs);
    BatchProgress progress(options.progress, share.size(), shareBytes, jobs);
    for (const std::string& note : notes)
        progress.note("warning: " + note);
    if (stale > 0)
        progress.note("removed " + std::to_string(stale) + " temporary file" + (stale == 1 ? "" : "s") +
                      " that a stopped run left");
    if (gathered.skippedFiles > 0)
        progress.note("skipped " + std::to_string(gathered.skippedFiles) +
                      (gathered.skippedFiles == 1 ? " file" : " files") +
                      " in the folders: hidden, or not named .wav, .aif, .aiff or .flac");
    for (const FileOutcome& refused : listProblems)
        progress.note("failed: " + refused.problem);

    BatchRun run(options, settings, settingsFiles, manifest, progress);
    JobPlan plan;
    plan.count = share.size();
    plan.threads = jobs;
    plan.run = [&](size_t job) { progress.finished(job, share[job].size, run.runOne(job, share[job])); };
    plan.keepStarting = [&] { return run.keepStarting(); };
    plan.watch = [&] { progress.refresh(CurrentStopRequest(), run.stopReason()); };
    RunJobs(plan);

    std::string stopReason = run.stopReason();
    problem = manifest.rewrite(header);
    if (!problem.empty()) {
        progress.note(problem);
        if (stopReason.empty())
            stopReason = problem;
    }
    const bool interrupted = CurrentStopRequest() != StopRequest::None && progress.notDone() > 0;
    if (interrupted && stopReason.empty())
        stopReason = "interrupted";
    progress.summarize(stdout, listProblems, stopReason);
    if (!progress.anyFailed() && listProblems.empty() && progress.notDone() == 0 && problem.empty())
        return 0;
    return interrupted && run.stopReason().empty() ? kStopped : kFailed;
}

} // namespace qz::cli
