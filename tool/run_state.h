// The run's state: fixed buffers and counters that live from entry to exit.
#pragma once

#include <cstdint>

constexpr std::int32_t kRegionBytes = 0x3000;  // the unit's whole region, word address 0 on
constexpr std::int32_t kAnswerBytes = 1000;

// The mixed-case member names (ComStr, Answer beside comPort, requestW) are the system's own,
// kept on purpose.
struct RunState {
  std::int32_t portNumber = 0;
  bool readMode = false;
  bool synced = false;
  bool verify = false;  // --verify: the region is read back and compared
  std::int32_t remaining = kRegionBytes;
  std::int32_t wordAddress = 0;
  char ComStr[14] = "\\\\.\\COM";
  char comPort[100] = {};
  std::uint32_t bytesReceived = 0;
  std::uint8_t Answer[kAnswerBytes] = {};
  std::uint8_t request[100] = {};
  std::uint8_t requestW[1000] = {};
  // Both directions hold the region whole: the write direction loads the data file before
  // sending, so that a short file is found before the unit is touched, and the read direction
  // writes the data file only once every segment is in.
  std::uint8_t region[kRegionBytes] = {};
  std::uint8_t readBack[kRegionBytes] = {};  // --verify's second reading
};
