#include "platform/stop_signal.h"

namespace tarvu {

std::string StopEventName(unsigned long processId) {
    return "Local\\tarvu-stop-" + std::to_string(processId);
}

}  // namespace tarvu
