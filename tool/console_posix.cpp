#include "tool/console.h"

// POSIX streams never translate line endings.
void PrepareConsole() {}
