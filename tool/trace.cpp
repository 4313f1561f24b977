#include "tool/trace.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "tool/data_file.h"
#include "tool/run_state.h"

namespace {

std::FILE* traceFile = nullptr;
std::uint64_t startUs = 0;

// Writes a line's time, operation and count; false when no trace is open.
bool Begin(const char* operation, std::uint32_t count) {
  if (traceFile == nullptr) {
    return false;
  }
  const std::uint64_t us = NowUs() - startUs;
  std::fprintf(traceFile, "%" PRIu64 ".%03u %s %u", us / 1000, static_cast<unsigned>(us % 1000),
               operation, static_cast<unsigned>(count));
  return true;
}

void End() {
  std::fputc('\n', traceFile);
  std::fflush(traceFile);
}

void Record(const char* operation, const std::uint8_t* bytes, std::uint32_t count) {
  if (!Begin(operation, count)) {
    return;
  }
  // Formatted by hand into one buffer: a line can hold a thousand bytes, and the trace must not
  // slow the polls it records.
  static const char kHex[] = "0123456789abcdef";
  char hex[3 * kAnswerBytes];
  std::size_t length = 0;
  for (std::uint32_t i = 0; i < count && length + 3 <= sizeof hex; ++i) {
    hex[length++] = ' ';
    hex[length++] = kHex[bytes[i] >> 4];
    hex[length++] = kHex[bytes[i] & 0x0F];
  }
  if (length > 0) {
    std::fwrite(hex, 1, length, traceFile);
  }
  End();
}

}  // namespace

void MarkProgramStart() {
  startUs = NowUs();
}

bool StartTrace(const char* path, const char* dataFile) {
  if (SameFile(path, dataFile)) {
    return false;
  }
  traceFile = std::fopen(path, "wb");
  return traceFile != nullptr;
}

int TracedOpenComPort(std::uint32_t baudRate, const char* devicePath) {
  const int result = OpenComPort(baudRate, devicePath);
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(devicePath));
  if (Begin(result < 0 ? "open-failed" : "open", length)) {
    // The path stands where the bytes would, as text: it is what support needs to see.
    std::fprintf(traceFile, " %s", devicePath);
    End();
  }
  return result;
}

bool TracedWriteComPort(PortHandle handle, const std::uint8_t* buffer, std::uint32_t length) {
  const bool written = WriteComPort(handle, buffer, length);
  Record(written ? "write" : "write-failed", buffer, length);
  return written;
}

bool TracedReadComPort(PortHandle handle, std::uint8_t* destination, std::uint32_t capacity,
                       std::uint32_t* bytesReceived) {
  const bool read = ReadComPort(handle, destination, capacity, bytesReceived);
  Record(read ? "read" : "read-failed", destination, *bytesReceived);
  return read;
}

void TracedPurgeComPort(PortHandle handle) {
  PurgeComPort(handle);
  Record("purge", nullptr, 0);
}

void TracedDiscardComPortOutput(PortHandle handle) {
  DiscardComPortOutput(handle);
  Record("discard", nullptr, 0);
}
