#pragma once
// SIGINT, SIGTERM and SIGHUP as a stop request for the command-line programs.

#include <functional>
#include <string>

namespace tarvu {

// Installs handlers that record the request instead of ending the process. On Windows these
// are the console's Ctrl+C, Ctrl+Break, close, logoff and shutdown events, and the named
// event that StopEventName gives for this process, which another program may set to ask for
// a stop.
// On Linux SIGPIPE is ignored as well: a write to a pipe whose reader has gone then fails
// (EPIPE) instead of ending the process, so the program can end its session properly.
void InstallStopSignals();

// The name of the stop event of the process `processId` (Windows).
std::string StopEventName(unsigned long processId);

// True once SIGINT, SIGTERM or SIGHUP has arrived (or RequestStop was called).
bool StopRequested();

// Records a stop request as a signal would; tests and callers that end a wait early use it.
void RequestStop();

// Tells the stop handling that the program has finished its closing work (settings saved, log
// and capture complete). On Windows the system ends the process as soon as the handler of a
// console close, logoff or shutdown event returns, so that handler waits for this call (for a
// few seconds at most). Nothing on Linux, where a signal does not end the process.
void StopCompleted();

// Sleeps up to `milliseconds` (negative: without limit) and returns early, true, on a stop
// request. The wait wakes every few milliseconds, so a caller's own end condition given as
// `until` is also checked; a true result of `until` ends the wait with false.
bool WaitForStop(int milliseconds, const std::function<bool()>& until = {});

}  // namespace tarvu
