// Whatever answers the tool on the other end of a line: the simulated unit, or a test's own.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

constexpr std::uint64_t kNever = UINT64_MAX;

struct Emission {
  std::uint64_t atUs;  // not to be sent before this time
  std::vector<std::uint8_t> bytes;
};

class Peer {
 public:
  virtual ~Peer() = default;
  // Bytes from the tool; `atUs` is when the last of them had arrived.
  virtual void Take(const std::uint8_t* data, std::size_t length, std::uint64_t atUs) = 0;
  // A tool has opened the line.
  virtual void LineOpened(std::uint64_t atUs) = 0;
  // What the peer has said and not yet put on the line.
  virtual std::deque<Emission>& outbox() = 0;
  // When the peer hangs up the line; kNever while it does not.
  virtual std::uint64_t hangupAtUs() const = 0;
};
