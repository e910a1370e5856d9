#include "BatchProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace qz::cli {

namespace {

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Format(const char* format, double a, double b = 0.0)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// Columns of the terminal on standard error, so that the status line never wraps
// (a wrapped line cannot be redrawn in place).
size_t TerminalWidth()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10)
        return size.ws_col - 1;
    return 79;
}

} // namespace

std::string FormatDuration(double seconds, bool tenths)
{
    const long long whole = static_cast<long long>(seconds);
    char text[64];
    if (tenths && whole < 3600)
        std::snprintf(text, sizeof text, "%lld:%04.1f", whole / 60, seconds - 60.0 * static_cast<double>(whole / 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

BatchProgress::BatchProgress(ProgressStyle style, size_t files, int64_t bytes, int jobs)
    : m_style(style), m_files(files), m_bytes(bytes), m_jobs(jobs), m_start(Now())
{
}

double BatchProgress::elapsed() const { return std::max(Now() - m_start, 1e-6); }

void BatchProgress::running(size_t job, int64_t bytes, double fraction)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    m_running[job] = {bytes, fraction};
}

void BatchProgress::finished(size_t job, int64_t bytes, const FileOutcome& outcome)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    m_running.erase(job);
    if (outcome.kind == FileOutcome::Kind::NotDone)
        return;
    ++m_finished;
    switch (outcome.kind) {
    case FileOutcome::Kind::Done:
        ++m_done;
        m_audioSeconds += outcome.audioSeconds;
        if (outcome.wallSeconds > m_slowest.wallSeconds)
            m_slowest = outcome;
        if (outcome.over)
            m_over.push_back(outcome.output);
        break;
    case FileOutcome::Kind::AlreadyDone: ++m_skipped; break;
    case FileOutcome::Kind::Failed: m_failures.push_back(outcome); break;
    case FileOutcome::Kind::NotDone: break;
    }
    (outcome.kind == FileOutcome::Kind::AlreadyDone ? m_bytesSkipped : m_bytesDone) += bytes;

    const std::string counter = "[" + std::to_string(m_finished) + "/" + std::to_string(m_files) + "] ";
    std::string line;
    if (outcome.kind == FileOutcome::Kind::Failed)
        line = counter + "failed: " + outcome.problem;
    else if (m_style != ProgressStyle::Plain)
        return;
    else if (outcome.kind == FileOutcome::Kind::AlreadyDone)
        line = counter + outcome.output + ": already done";
    else
        line = counter + outcome.output + ": done, " + FormatDuration(outcome.audioSeconds, true) + " of audio in " +
               Format("%.2f s", outcome.wallSeconds);
    clearStatus();
    std::fprintf(stderr, "qzmb batch: %s\n", line.c_str());
}

void BatchProgress::note(const std::string& line)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    clearStatus();
    std::fprintf(stderr, "qzmb batch: %s\n", line.c_str());
}

void BatchProgress::clearStatus()
{
    if (m_statusShown)
        std::fputs("\r\033[K", stderr);
    m_statusShown = false;
}

std::string BatchProgress::statusLine(StopRequest stopping, const std::string& stopReason) const
{
    const double seconds = elapsed();
    double bytesRead = static_cast<double>(m_bytesDone);
    for (const auto& job : m_running)
        bytesRead += static_cast<double>(job.second.first) * job.second.second;
    std::string line = "qzmb batch: " + std::to_string(m_finished) + "/" + std::to_string(m_files) + " files";
    if (m_skipped > 0)
        line += " (" + std::to_string(m_skipped) + " already done)";
    line += Format(", %.2f h of audio, %.0fx real time", m_audioSeconds / 3600.0, m_audioSeconds / seconds) +
            Format(", %.1f files/s", static_cast<double>(m_finished - m_skipped) / seconds);
    const double remaining = static_cast<double>(m_bytes - m_bytesSkipped) - bytesRead;
    if (bytesRead > 0 && remaining > 0)
        line += ", ETA " + FormatDuration(remaining / (bytesRead / seconds));
    if (!m_failures.empty())
        line += ", " + std::to_string(m_failures.size()) + " failed";
    if (!stopReason.empty())
        line += "; stopping: " + stopReason;
    else if (stopping == StopRequest::NoNewFiles)
        line += "; stopping: finishing " + std::to_string(m_running.size()) +
                " running files (Ctrl-C again abandons them)";
    else if (stopping == StopRequest::AbandonRunning)
        line += "; stopping: abandoning the running files";
    return line;
}

void BatchProgress::refresh(StopRequest stopping, const std::string& stopReason)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_style != ProgressStyle::Terminal)
        return;
    std::string line = statusLine(stopping, stopReason);
    line.resize(std::min(line.size(), TerminalWidth()));
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    m_statusShown = true;
}

bool BatchProgress::anyFailed() const
{
    std::lock_guard<std::mutex> hold(m_mutex);
    return !m_failures.empty();
}

size_t BatchProgress::notDone() const
{
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_files - m_finished;
}

void BatchProgress::summarize(FILE* out, const std::vector<FileOutcome>& listProblems, const std::string& stopReason)
{
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_statusShown)
        std::fputs("\n", stderr);
    m_statusShown = false;
    std::fflush(stderr);

    const double seconds = elapsed();
    std::vector<const FileOutcome*> failures;
    for (const FileOutcome& failure : m_failures)
        failures.push_back(&failure);
    for (const FileOutcome& problem : listProblems)
        failures.push_back(&problem);
    std::sort(failures.begin(), failures.end(),
              [](const FileOutcome* a, const FileOutcome* b) { return a->input < b->input; });
    std::sort(m_over.begin(), m_over.end());

    std::fprintf(out, "qzmb batch: %zu files, %d job%s, %s wall time\n", m_files + listProblems.size(), m_jobs,
                 m_jobs == 1 ? "" : "s", FormatDuration(seconds, true).c_str());
    std::fprintf(out, "  %-14s %6zu   %s of audio, %.0fx real time, %.1f files/s\n", "done", m_done,
                 FormatDuration(m_audioSeconds, true).c_str(), m_audioSeconds / seconds,
                 static_cast<double>(m_done) / seconds);
    std::fprintf(out, "  %-14s %6zu%s\n", "already done", m_skipped, m_skipped > 0 ? "   (the manifest matches)" : "");
    std::fprintf(out, "  %-14s %6zu\n", "failed", failures.size());
    std::fprintf(out, "  %-14s %6zu%s\n", "not done", m_files - m_finished,
                 m_files > m_finished ? "   (the batch was stopped; run it again to do them)" : "");
    if (m_done > 0)
        std::fprintf(out, "  %-14s %s: %.2f s for %s of audio (%.0fx real time)\n", "slowest",
                     m_slowest.output.c_str(), m_slowest.wallSeconds,
                     FormatDuration(m_slowest.audioSeconds, true).c_str(),
                     m_slowest.audioSeconds / std::max(m_slowest.wallSeconds, 1e-6));
    std::fprintf(out, "  %-14s %6zu", "over", m_over.size());
    constexpr size_t kNamesShown = 10;
    for (size_t i = 0; i < m_over.size() && i < kNamesShown; ++i)
        std::fprintf(out, "%s%s", i == 0 ? "   " : ", ", m_over[i].c_str());
    if (m_over.size() > kNamesShown)
        std::fprintf(out, " and %zu more (the manifest lists them)", m_over.size() - kNamesShown);
    std::fprintf(out, "\n");
    if (!stopReason.empty())
        std::fprintf(out, "  stopped: %s\n", stopReason.c_str());
    if (!failures.empty()) {
        std::fprintf(out, "failures:\n");
        for (const FileOutcome* failure : failures)
            std::fprintf(out, "  %s\n", failure->problem.c_str());
    }
    std::fflush(out);
}

} // namespace qz::cli
