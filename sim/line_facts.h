// What the simulated unit and the tests know of the line and the region, written down once and
// apart from the tool's own code, so that the tests judge the tool by an independent account.
#pragma once

#include <cstdint>

// Ten bits a byte (start, 8 data, stop) at 115200 baud.
constexpr double kByteUs = 10.0 * 1000000.0 / 115200.0;

// The segment plan: 52 segments from word address 0, 120 words each but the last, 24.
constexpr std::int32_t kPlanSegments = 52;

struct PlannedSegment {
  std::int32_t wordAddress;
  std::int32_t words;
  constexpr std::int32_t bytes() const { return words * 2; }
};

constexpr PlannedSegment PlannedSegmentAt(std::int32_t index) {
  return {index * 120, index < kPlanSegments - 1 ? 120 : 24};
}
