// An in-process line to a simulated unit, with a virtual clock. The tool's port and console
// calls land here in the tests, so counts, waits and time-outs are checked exactly and fast.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "sim/unit.h"

struct FakeLine {
  struct TimedByte {
    double atUs;
    std::uint8_t value;
  };

  Unit* unit = nullptr;
  std::uint64_t nowUs = 0;
  std::deque<TimedByte> toTool;
  double lineFreeToTool = 0;
  double lineFreeToUnit = 0;

  bool openFails = false;
  std::string openedPath;
  std::string console;  // all the tool printed, prompt included
  int prompts = 0;
  std::uint64_t sleptMs = 0;
  int quietWrites = 0;
  int reads = 0;
  int failedReads = 0;
};

FakeLine& Line();

// A fresh line to `unit`, at virtual time 0.
void ResetLine(Unit* unit);
