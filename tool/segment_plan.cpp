#include "tool/console.h"
#include "tool/transfer.h"

std::int32_t SegmentLength(std::int32_t remaining) {
  return remaining > kSegmentBytes ? kSegmentBytes : remaining;
}

void DeductSegment(RunState& state, std::int32_t segLen) {
  state.remaining -= segLen;
  state.wordAddress += segLen / 2;
}

void CountGoodSegment(std::int32_t& progressCountdown, std::int32_t remaining) {
  if (--progressCountdown == 0) {
    Say("%d bytes remain\r", static_cast<int>(remaining));
    progressCountdown = kProgressEvery;
  }
}
