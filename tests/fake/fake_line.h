// An in-process line to a simulated unit (or any peer), with a virtual clock. The tool's port and
// console calls land here in the tests, so counts, waits and time-outs are checked exactly and
// fast.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/peer.h"

struct FakeLine {
  // One write of the tool and every byte its reads delivered until the next write.
  struct Exchange {
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> delivered;
  };

  struct TimedByte {
    double atUs;
    std::uint8_t value;
  };

  Peer* peer = nullptr;
  std::uint64_t nowUs = 0;
  std::deque<TimedByte> toTool;
  double lineFreeToTool = 0;
  double lineFreeToUnit = 0;

  bool openFails = false;
  std::string openedPath;
  std::string console;  // all the tool printed, prompt included
  int prompts = 0;
  std::uint64_t sleptMs = 0;
  int reads = 0;
  std::vector<Exchange> exchanges;

  // How many of the tool's writes were the quiet command.
  int QuietWrites() const;
};

FakeLine& Line();

// A fresh line to `peer`, at virtual time 0.
void ResetLine(Peer* peer);
