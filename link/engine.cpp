#include "link/engine.h"

#include <atomic>

namespace tarvu {
namespace {

std::atomic<EngineConfig*> gConfig{nullptr};
std::atomic<int> gAcceptUnconfigured{0};

}  // namespace

int StartEngine(EngineConfig* config, int acceptUnconfigured) {
    if (config == nullptr || config->size != kEngineConfigSize) {
        return 1;
    }
    gAcceptUnconfigured.store(acceptUnconfigured);
    gConfig.store(config);
    return 0;
}

EngineConfig* ActiveEngineConfig() {
    return gConfig.load();
}

int EngineAcceptsUnconfigured() {
    return gAcceptUnconfigured.load();
}

}  // namespace tarvu
