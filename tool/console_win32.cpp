#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tool/console.h"

// Text mode would turn every "\n" into "\r\n", and "\r\n" into "\r\r\n".
void PrepareConsole() {
  _setmode(_fileno(stdout), _O_BINARY);
}
