// An in-process line to a simulated unit (or any peer), with a virtual clock. The tool's port and
// console calls land here in the tests, so counts, waits and time-outs are checked exactly and
// fast.
#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/peer.h"

// Thrown by the line's waits once a run has gone on past FakeLine::limitUs of virtual time,
// so that a tool that loops fails its test at once instead of hanging it.
struct RunawayRun : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct FakeLine {
  struct ReadCall {
    std::uint32_t capacity;
    std::uint32_t got;
  };

  // One write of the tool, and the reads after it until the next write.
  struct Exchange {
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> delivered;
    std::vector<ReadCall> reads;
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
  // Longer than any run the tool's bounds allow, by far.
  std::uint64_t limitUs = 2ull * 3600 * 1000000;

  // Bytes that arrive right after a read has taken the last byte the peer said in reply to a
  // write, before the tool's next call: once per write. A tool that purges before each request
  // never sees them.
  std::vector<std::uint8_t> strayAfterReply;

  // The tool's writes from this one on (counted from 1) are not taken: each waits out the
  // port's 5 s write limit and fails. 0: every write is taken.
  int writesFailFrom = 0;

  bool openFails = false;
  std::string openedPath;
  std::string console;  // all the tool printed, prompt included
  int prompts = 0;
  std::uint64_t sleptMs = 0;
  int reads = 0;
  int purges = 0;
  // Every port call in order: O open, P purge, W write, F failed write, D discarded output,
  // R read.
  std::string calls;
  std::vector<Exchange> exchanges;

  // How many of the tool's writes were the quiet command.
  int QuietWrites() const;
};

FakeLine& Line();

// A fresh line to `peer`, at virtual time 0.
void ResetLine(Peer* peer);
