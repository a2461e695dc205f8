#include "platform/thread_id.h"

#include <unistd.h>

namespace tarvu {

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(::gettid());
}

}  // namespace tarvu
