// How --list finds the ports on Linux, apart from printing, so that tests can hand it a
// file-system tree of their own.
#pragma once

#include <string>
#include <vector>

// One line per tty with hardware behind it, found under `root` + /sys/class/tty and named as
// in /dev (`root` is empty on a real machine):
//   /dev/ttyS0  COM1 by default  16550A, port 0x03F8, irq 4
//   /dev/ttyUSB0  COMn=/dev/serial/by-id/usb-...  usb 0403:6001, FTDI, FT232R USB UART, serial X
// A ttyS the kernel registered for an absent UART (type 0) is left out.
std::vector<std::string> DescribeSerialPorts(const std::string& root);
