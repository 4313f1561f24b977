// The simulated unit's end of a pseudo-terminal: the tool opens the other end as its port.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/line_record.h"
#include "sim/unit.h"

struct LineOptions {
  bool pacing = true;            // no faster than 115200 baud 8N1, both ways
  std::int64_t idleLimitMs = 0;  // end after this long with no byte from a tool; 0: never
  // Hold the tool's output off, as a line with CTS low would, from the start (0) or once
  // request N (a read or write request) is in; -1: never.
  std::int32_t holdOutputFrom = -1;
};

class PtyLine {
 public:
  // Opens a new pseudo-terminal; `ok()` tells whether that worked.
  PtyLine();
  ~PtyLine();
  bool ok() const { return master_ >= 0; }
  const std::string& devicePath() const { return devicePath_; }

  // Serves `unit` until a signal, the idle limit or the unit's hang-up.
  void Serve(Unit& unit, const LineOptions& options, LineRecord& record, volatile const int& stop);

 private:
  int master_ = -1;
  std::string devicePath_;
};
