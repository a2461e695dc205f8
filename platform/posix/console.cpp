#include "platform/console.h"

namespace tarvu {

// Linux terminals and arguments are UTF-8 already.
void PrepareConsole(int&, char**&) {
}

}  // namespace tarvu
