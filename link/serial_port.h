// The port operations the tool is built on. One implementation per platform, chosen by the
// build: kernel32 on Windows, termios on POSIX. Tests link a fake with a virtual clock instead.
#pragma once

#include <cstdint>

// Wide enough for a Windows HANDLE and a POSIX descriptor alike.
using PortHandle = std::intptr_t;

// The one open port of the process; set by OpenComPort and never closed explicitly. A
// process-wide handle is the system's own design, kept on purpose.
extern PortHandle comHandle;

// Opens `devicePath` (\\.\COMn) and sets 8N1 at `baudRate`, no XON/XOFF, DTR and RTS off and a
// 1 ms total read time-out. 0 on success; -1 after printing why it failed.
int OpenComPort(std::uint32_t baudRate, const char* devicePath);

// Sends all `length` bytes. False when the driver has not taken them all within 5 s (a line
// held off by flow control, or one that nobody reads) or the write failed.
bool WriteComPort(PortHandle handle, const std::uint8_t* buffer, std::uint32_t length);

// Throws away what is still queued for sending, so that closing the port at exit does not
// wait for a line that will not drain.
void DiscardComPortOutput(PortHandle handle);

// Returns what arrives within 1 ms, up to `capacity` bytes. Nothing arrived is success with 0;
// `bytesReceived` is 0 when the read fails.
bool ReadComPort(PortHandle handle, std::uint8_t* destination, std::uint32_t capacity,
                 std::uint32_t* bytesReceived);

// Drops everything in the receive queue.
void PurgeComPort(PortHandle handle);

void SleepMs(std::uint32_t milliseconds);

// Microseconds on a clock that only moves forward, from an arbitrary start.
std::uint64_t NowUs();
