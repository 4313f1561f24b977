#include "tool/transfer.h"

std::int32_t SegmentLength(std::int32_t remaining) {
  return remaining > kSegmentBytes ? kSegmentBytes : remaining;
}

void DeductSegment(RunState& state, std::int32_t segLen) {
  state.remaining -= segLen;
  state.wordAddress += segLen / 2;
}
