#include "tool/console.h"
#include "tool/transfer.h"

Check VerifyRegion(RunState& state) {
  Say("Verifying\r\n");
  if (!FetchRegion(state, state.readBack, false)) {
    return Check::kUnreadable;
  }
  std::int32_t differ = 0;
  std::int32_t first = -1;
  for (std::int32_t at = 0; at < kRegionBytes; ++at) {
    if (state.region[at] != state.readBack[at]) {
      if (first < 0) {
        first = at;
      }
      ++differ;
    }
  }
  if (differ == 0) {
    return Check::kAgree;
  }
  Say("Verify failed: %d bytes differ, the first at offset %d\r\n", static_cast<int>(differ),
      static_cast<int>(first));
  return Check::kDiffer;
}
