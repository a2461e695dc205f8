#pragma once
// The process-wide engine context: the configuration handed over by StartEngine.

#include "link/engine_config.h"

namespace tarvu {

// Stores `config` (which the caller keeps alive while the engine runs) and the flag.
// Returns 0 when config->size is 180, else 1 (and stores nothing).
int StartEngine(EngineConfig* config, int acceptUnconfigured);

// The stored configuration, or null before a successful StartEngine.
EngineConfig* ActiveEngineConfig();

// 1 when channels open whatever their record says and take the blank default record.
int EngineAcceptsUnconfigured();

}  // namespace tarvu
