#include <cstdio>
#include <cstring>

#include "link/packet.h"
#include "link/serial_port.h"
#include "tool/console.h"
#include "tool/data_file.h"
#include "tool/send.h"
#include "tool/trace.h"
#include "tool/transfer.h"

namespace {

enum class Ack { kGood, kBad, kTimeout };

// Gathers the acknowledgement, a packet with no data. A failed read counts as an empty poll;
// more bytes than that never make a whole acknowledgement, so they end in the time-out.
Ack AwaitAck(RunState& state) {
  std::int32_t received = 0;
  std::int32_t emptyPolls = kWriteEmptyPolls;
  for (;;) {
    SleepMs(10);
    const std::uint32_t room = static_cast<std::uint32_t>(kAnswerBytes - received);
    TracedReadComPort(comHandle, state.Answer + received, room, &state.bytesReceived);
    if (state.bytesReceived == 0) {
      if (--emptyPolls > 0) {
        continue;
      }
      Say("Unit response timeout\r\n");
      return Ack::kTimeout;
    }
    received += static_cast<std::int32_t>(state.bytesReceived);
    if (received == kPacketBytes) {
      break;
    }
  }
  if (!CheckResponse(state.Answer, 0)) {
    Say("Input data CRC error\r\n");
    return Ack::kBad;
  }
  return Ack::kGood;
}

enum class Load { kLoaded, kTooShort, kUnreadable };

// Reads the region's bytes before anything is sent, so that a missing or short file leaves
// the unit untouched.
Load LoadRegion(RunState& state, const char* fileName) {
  std::FILE* stream = OpenRegularFile(fileName);
  if (stream == nullptr) {
    return Load::kUnreadable;
  }
  const std::size_t got = std::fread(state.region, 1, sizeof state.region, stream);
  const bool failed = std::ferror(stream) != 0;
  std::fclose(stream);
  if (failed) {
    return Load::kUnreadable;
  }
  return got == sizeof state.region ? Load::kLoaded : Load::kTooShort;
}

}  // namespace

Outcome WriteRegion(RunState& state, const char* fileName) {
  const Load loaded = LoadRegion(state, fileName);
  if (loaded == Load::kUnreadable) {
    Say("Can't open data file %s\r\n", fileName);
    return Outcome::kFileError;
  }
  if (loaded == Load::kTooShort) {
    Say("Data file %s holds fewer than 12288 bytes\r\n", fileName);
    return Outcome::kFileError;
  }
  std::int32_t progressCountdown = kProgressEvery;
  SleepMs(10);
  bool allGood = true;
  while (state.remaining > 0) {
    TracedPurgeComPort(comHandle);
    const std::int32_t segLen = SegmentLength(state.remaining);
    std::memcpy(state.requestW + kDataOffset, state.region + state.wordAddress * 2,
                static_cast<std::size_t>(segLen));
    BuildWriteRequest(state.requestW, state.wordAddress, segLen);
    if (!SendToUnit(state.requestW, static_cast<std::uint32_t>(segLen + kPacketBytes))) {
      return Outcome::kFailed;
    }
    // A segment is never sent twice: the unit may rely on that.
    const Ack ack = AwaitAck(state);
    if (ack == Ack::kTimeout) {
      return Outcome::kFailed;
    }
    if (ack == Ack::kGood) {
      CountGoodSegment(progressCountdown, state.remaining);
    } else {
      allGood = false;
    }
    DeductSegment(state, segLen);
  }
  if (!allGood) {
    return Outcome::kFailed;
  }
  // An acknowledgement says only that a frame with a right CRC came back, not what was stored.
  if (state.verify) {
    if (VerifyRegion(state) != Check::kAgree) {
      return Outcome::kFailed;
    }
    Say("Verified\r\n");
  }
  return Outcome::kDone;
}
