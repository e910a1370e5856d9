#pragma once
// What SIGINT, SIGTERM and SIGHUP do to a program writing files (qzmb).
//
// Every temporary output file is registered here while it exists. By default the
// signals remove every registered file and end the program with the signal, so an
// interrupted run leaves nothing half-written. A batch instead asks for cooperative
// stops: the first SIGINT only stops new files from starting, a second one (or
// SIGTERM, or SIGHUP) asks the running files to be abandoned, and only a signal after
// that ends the program at once, removing the registered files.

#include <signal.h>

namespace qz::files {

enum class StopRequest {
    None = 0,
    NoNewFiles = 1,      // finish the files that are running, start no others
    AbandonRunning = 2,  // stop the running files too, removing their temporary files
};

// Registers a temporary file's path (it is copied); false when the path is too long or
// too many files are registered at once. Safe from any thread.
bool RegisterPendingFile(const char* path);
// The file is gone or has its final name: a signal must no longer remove it.
void ReleasePendingFile(const char* path);

// Installs the handlers that remove registered files and end the program. A signal the
// caller chose to ignore (nohup, a background job) stays ignored.
void WatchForInterruption();
// From now on the signals raise the stop request instead, as described above.
void StopCooperatively();
StopRequest CurrentStopRequest();

// Holds SIGINT, SIGTERM and SIGHUP back on the calling thread while it lives; a signal
// that comes meanwhile waits, or goes to a thread that does not hold it. Threads started
// meanwhile hold them for good.
class InterruptionsHeld {
public:
    InterruptionsHeld();
    ~InterruptionsHeld();
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

private:
    sigset_t m_previous;
};

} // namespace qz::files
