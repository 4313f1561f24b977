// --trace: a record of every operation on the port, for whoever supports the unit. The transfer
// code calls the port through these, which pass each call on unchanged and, while a trace is
// open, write a line for it:
//   <ms since the program started, 3 decimals> <operation> <count> [<bytes in hex>...]
// Each line is flushed as it is written, so that a run that is killed keeps its trace.
#pragma once

#include <cstdint>

#include "link/serial_port.h"

// The moment the program started, from NowUs(); the trace's times count from it.
void MarkProgramStart();

// Creates (or truncates) the trace file; false when it cannot be created, or when it names the
// run's data file, which it would destroy.
bool StartTrace(const char* path, const char* dataFile);

int TracedOpenComPort(std::uint32_t baudRate, const char* devicePath);
bool TracedWriteComPort(PortHandle handle, const std::uint8_t* buffer, std::uint32_t length);
bool TracedReadComPort(PortHandle handle, std::uint8_t* destination, std::uint32_t capacity,
                       std::uint32_t* bytesReceived);
void TracedPurgeComPort(PortHandle handle);
void TracedDiscardComPortOutput(PortHandle handle);
