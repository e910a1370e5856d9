#pragma once
// What a batch shows while it runs and what it says at the end. On a terminal, one
// status line on standard error that updates in place (files done of total, audio
// done, speed, ETA, failures), with failures printed above it; otherwise a plain line
// per file. At the end a summary table on standard output.

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Interruption.h"

namespace qz::cli {

// What a signal has asked of a batch, under the names qzmb's code knows it by.
using files::CurrentStopRequest;
using files::StopCooperatively;
using files::StopRequest;

enum class ProgressStyle { Terminal, Plain, None };

struct FileOutcome {
    enum class Kind { Done, AlreadyDone, Failed, NotDone };

    Kind kind = Kind::NotDone;
    std::string input;
    std::string output;
    std::string problem;        // why it failed
    double audioSeconds = 0.0;  // of the file, when done
    double wallSeconds = 0.0;   // to process it
    bool over = false;
};

class BatchProgress {
public:
    // `files` to do, `bytes` of input between them, on `jobs` threads.
    BatchProgress(ProgressStyle style, size_t files, int64_t bytes, int jobs);

    // How far a running job is: `fraction` of an input of `bytes`.
    void running(size_t job, int64_t bytes, double fraction);
    void finished(size_t job, int64_t bytes, const FileOutcome& outcome);
    // A line for the user, above the status line.
    void note(const std::string& line);
    // Redraws the status line; `stopping` says what the batch was asked to do.
    void refresh(StopRequest stopping, const std::string& stopReason);
    // Ends the status line and prints the summary to `out`.
    void summarize(FILE* out, const std::vector<FileOutcome>& listProblems, const std::string& stopReason);

    bool anyFailed() const;
    // Files that neither finished nor failed: the batch was stopped first.
    size_t notDone() const;

private:
    std::string statusLine(StopRequest stopping, const std::string& stopReason) const;
    void clearStatus();
    double elapsed() const;

    mutable std::mutex m_mutex;
    ProgressStyle m_style;
    size_t m_files;
    int64_t m_bytes;
    int m_jobs;
    double m_start;
    bool m_statusShown = false;

    // What the summary needs, kept small however many files pass.
    size_t m_finished = 0;
    size_t m_done = 0, m_skipped = 0;
    std::vector<FileOutcome> m_failures;
    std::vector<std::string> m_over;  // outputs that went over
    FileOutcome m_slowest;
    int64_t m_bytesDone = 0;     // of the files processed (not those already done)
    int64_t m_bytesSkipped = 0;  // of the files already done
    double m_audioSeconds = 0.0;
    std::map<size_t, std::pair<int64_t, double>> m_running;  // job: bytes, fraction
};

// Seconds as H:MM:SS (or M:SS.s below an hour when `tenths`).
std::string FormatDuration(double seconds, bool tenths = false);

} // namespace qz::cli
