#include "platform/console.h"

namespace vantorix {

// POSIX streams never translate: bytes in, bytes out.
void console_start() {}

}  // namespace vantorix
