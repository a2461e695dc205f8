#pragma once
// The completion worker: takes completions off the process's port until it is told to quit,
// hands received datagrams to the link protocol and runs the channels' send steps.

#include <cstdint>
#include <string>

namespace tarvu {

class cnsIoDriver;

// The body of every worker thread.
void WorkerThread();

// The worker's debug line for one completion: key, kind (with byte count or thread id) and the
// channel's running flag.
std::string FormatCompletionLine(uintptr_t key, uint32_t kind, uint32_t bytes, uint32_t threadId,
                                 uint32_t running);
// The line written before a record goes back to its driver's free list.
std::string FormatDeleteLine(uintptr_t key, const cnsIoDriver* driver);

}  // namespace tarvu
