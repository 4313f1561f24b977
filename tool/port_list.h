// --list: the machine's serial ports, a line each. No port is opened: opening one raises DTR
// and RTS on Linux, which resets some units.
#pragma once

void ListSerialPorts();
