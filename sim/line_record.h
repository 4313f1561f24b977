// What unitsim writes down about its line: a hex transcript of the bytes each way, and a log
// of the frames the unit received and of the tool's faults, a line each.
#pragma once

#include <cstdint>
#include <cstdio>

#include "sim/unit.h"

class LineRecord {
 public:
  // Either file may be nullptr: that record is not kept.
  LineRecord(std::FILE* log, std::FILE* transcript) : log_(log), transcript_(transcript) {}

  void Sent(std::uint64_t atUs, const std::uint8_t* data, std::size_t length);
  void Received(std::uint64_t atUs, const std::uint8_t* data, std::size_t length);
  // Logs the requests and faults the unit has noted since the last call.
  void CatchUp(const Unit& unit);
  void HungUp();

 private:
  void Hex(std::uint64_t atUs, const char* direction, const std::uint8_t* data, std::size_t length);

  std::FILE* log_;
  std::FILE* transcript_;
  std::size_t requestsLogged_ = 0;
  std::size_t faultsLogged_ = 0;
};
