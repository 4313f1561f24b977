#include "tool/console.h"

#include <cstdarg>
#include <cstdio>

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void PromptAndWait() {
  Say("Press ENTER to continue\r\n");
  std::getchar();
}
