// The simulated unit's protocol logic: bytes in, timed bytes out, a 12,288-byte region and a
// fault plan. No clock and no I/O of its own, so that a pseudo-terminal and an in-process fake
// with virtual time can both drive it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/fault_plan.h"
#include "sim/peer.h"

constexpr std::size_t kUnitRegionBytes = 12288;

using Region = std::array<std::uint8_t, kUnitRegionBytes>;

// A pattern with the bytes that a badly set up line would mangle: NUL, LF, CR, XON, XOFF, and
// the preamble pair 0x55 0x55 inside the data.
Region PatternRegion();

struct RequestRecord {
  std::string type;  // "SF", "RC", "WC"
  std::int32_t wordAddress = 0;
  std::int32_t words = 0;
  std::uint64_t atUs = 0;
};

class Unit : public Peer {
 public:
  Unit(const Region& region, FaultPlan plan);

  void Take(const std::uint8_t* data, std::size_t length, std::uint64_t atUs) override;
  void LineOpened(std::uint64_t atUs) override;
  std::deque<Emission>& outbox() override { return outbox_; }
  std::uint64_t hangupAtUs() const override { return hangupAtUs_; }
  const Region& region() const { return region_; }
  const std::vector<RequestRecord>& requests() const { return requests_; }
  // Faults of the tool: requests with a wrong CRC, outside the segment plan, or malformed.
  const std::vector<std::string>& faults() const { return faults_; }
  std::int32_t quietCount() const { return quietCount_; }

 private:
  void HandleFrame(const std::uint8_t* frame, std::size_t length, std::uint64_t atUs);
  void Answer(std::vector<std::uint8_t> packet, std::int32_t request, std::uint64_t atUs);
  void Fault(const std::string& what);

  Region region_;
  FaultPlan plan_;
  std::vector<std::uint8_t> pending_;
  std::deque<Emission> outbox_;
  std::vector<RequestRecord> requests_;
  std::vector<std::string> faults_;
  std::int32_t quietCount_ = 0;
  std::int32_t transferRequests_ = 0;
  std::uint64_t hangupAtUs_ = kNever;
  bool inStray_ = false;
};

// A frame as the unit sends it: preamble, type, length, payload and CRC.
std::vector<std::uint8_t> MakeFrame(const char* type, const std::vector<std::uint8_t>& payload);

// True when (wordAddress, words) is one of the 52 segments of the region.
bool InSegmentPlan(std::int32_t wordAddress, std::int32_t words);
