// kernel32 serial port: a synchronous handle, configured field by field so that every setting
// the tool does not name keeps the value the port already had.
#include <windows.h>

#include <cstdio>

#include "link/serial_port.h"

PortHandle comHandle = reinterpret_cast<PortHandle>(INVALID_HANDLE_VALUE);

namespace {

HANDLE AsHandle(PortHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

int OpenComPort(std::uint32_t baudRate, const char* devicePath) {
  HANDLE handle = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  comHandle = reinterpret_cast<PortHandle>(handle);
  if (handle == INVALID_HANDLE_VALUE) {
    std::printf("Can't open COM Port %s - Error: %ld\n", devicePath,
                static_cast<long>(GetLastError()));
    std::fflush(stdout);
    return -1;
  }

  DCB dcb;
  if (!GetCommState(handle, &dcb)) {
    // Nothing trustworthy came back: start from a cleared record rather than stack garbage.
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
  }
  dcb.BaudRate = baudRate;
  dcb.ByteSize = 8;
  dcb.StopBits = ONESTOPBIT;
  dcb.Parity = NOPARITY;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fNull = 0;
  if (!SetCommState(handle, &dcb)) {
    std::printf("SetCommState() failed; Error: %ld\n", static_cast<long>(GetLastError()));
    std::fflush(stdout);
    return -1;
  }

  SetCommMask(handle, EV_RXCHAR | EV_TXEMPTY);

  COMMTIMEOUTS commtimeouts;
  commtimeouts.ReadIntervalTimeout = 0;
  commtimeouts.ReadTotalTimeoutMultiplier = 0;
  commtimeouts.ReadTotalTimeoutConstant = 1;
  commtimeouts.WriteTotalTimeoutMultiplier = 0;
  // A write the driver has not taken within 5 s has failed: with no limit, a line held off
  // by flow control would block WriteFile for ever.
  commtimeouts.WriteTotalTimeoutConstant = 5000;
  SetCommTimeouts(handle, &commtimeouts);
  return 0;
}

bool WriteComPort(PortHandle handle, const std::uint8_t* buffer, std::uint32_t length) {
  DWORD realsize = 0;
  // A write that times out still reports success, with fewer bytes written.
  return WriteFile(AsHandle(handle), buffer, length, &realsize, nullptr) != 0 && realsize == length;
}

void DiscardComPortOutput(PortHandle handle) {
  PurgeComm(AsHandle(handle), PURGE_TXABORT | PURGE_TXCLEAR);
}

bool ReadComPort(PortHandle handle, std::uint8_t* destination, std::uint32_t capacity,
                 std::uint32_t* bytesReceived) {
  DWORD count = 0;
  const BOOL ok = ReadFile(AsHandle(handle), destination, capacity, &count, nullptr);
  *bytesReceived = ok ? count : 0;
  return ok != 0;
}

void PurgeComPort(PortHandle handle) {
  PurgeComm(AsHandle(handle), PURGE_RXCLEAR);
}

void SleepMs(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

std::uint64_t NowUs() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  const std::uint64_t ticks = static_cast<std::uint64_t>(now.QuadPart);
  const std::uint64_t perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
  return ticks / perSecond * 1000000u + ticks % perSecond * 1000000u / perSecond;
}
