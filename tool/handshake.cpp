#include "tool/handshake.h"

#include <cstring>

#include "link/packet.h"
#include "link/serial_port.h"
#include "tool/send.h"
#include "tool/trace.h"

Sync QuietHandshake(RunState& state) {
  std::int32_t attempts = kQuietAttempts + 1;
  while (--attempts > 0) {
    TracedPurgeComPort(comHandle);
    std::memset(state.Answer, 0, sizeof state.Answer);
    if (!SendToUnit(Quiet, sizeof Quiet)) {
      return Sync::kWriteFailed;
    }
    SleepMs(10);
    // The answer must come whole in this one read; anything more or less fails the attempt.
    TracedReadComPort(comHandle, state.Answer, sizeof state.Answer, &state.bytesReceived);
    if (state.bytesReceived == sizeof QuietResp &&
        std::memcmp(state.Answer, QuietResp, sizeof QuietResp) == 0) {
      state.synced = true;
      return Sync::kSynced;
    }
  }
  return Sync::kNoAnswer;
}
