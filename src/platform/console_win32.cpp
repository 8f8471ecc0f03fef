#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace vantorix {

void console_start() {
  // In text mode a 0x1A byte would end the input and every later command
  // would be lost; the line reader handles CR LF itself.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_TEXT);
}

}  // namespace vantorix
