#include "tool/console.h"
#include "tool/transfer.h"

void CountGoodSegment(std::int32_t& progressCountdown, std::int32_t remaining) {
  if (--progressCountdown == 0) {
    Say("%d bytes remain\r", static_cast<int>(remaining));
    progressCountdown = kProgressEvery;
  }
}
