// How --list finds the ports on Linux, apart from printing, so that tests can hand it a
// file-system tree of their own. Plain C strings and fixed buffers, so that the tool needs no
// C++ runtime library beyond what it links already.
#pragma once

constexpr int kMostPorts = 64;

struct PortLine {
  char text[768];
};

// Fills `lines` with one line per tty with hardware behind it, found under `root` +
// /sys/class/tty and named as in /dev (`root` is "" on a real machine), and returns how many:
//   /dev/ttyS0  COM1 by default  16550A, port 0x3F8, irq 4
//   /dev/ttyUSB0  COMn=/dev/serial/by-id/usb-...  usb 0403:6001, FTDI, FT232R USB UART, serial X
// A ttyS the kernel registered for an absent UART (type 0) is left out.
int DescribeSerialPorts(const char* root, PortLine (&lines)[kMostPorts]);
