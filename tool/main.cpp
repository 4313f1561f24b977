// verlrock: moves the unit's 12,288-byte region between a file and a unit on a COM port.
#include "tool/run.h"

int main(int argc, char* argv[]) {
  return RunTool(argc, argv);
}
