#include <cstring>

#include "link/packet.h"
#include "link/serial_port.h"
#include "tool/console.h"
#include "tool/data_file.h"
#include "tool/send.h"
#include "tool/trace.h"
#include "tool/transfer.h"

namespace {

enum class Reply { kGood, kBad, kTimeout, kLineError };

// Sends one read request and gathers its response. A response is judged as soon as it is
// long enough: anything longer than expected cannot be right. A try has a fixed number of
// polls, whatever they bring, so that a unit that drips its bytes cannot hold the run.
Reply RequestSegment(RunState& state, std::int32_t segLen) {
  TracedPurgeComPort(comHandle);
  BuildReadRequest(state.request, state.wordAddress, segLen);
  if (!SendToUnit(state.request, kPacketBytes)) {
    return Reply::kLineError;
  }
  std::int32_t received = 0;
  for (std::int32_t polls = 0; received < segLen + kPacketBytes; ++polls) {
    if (polls == kReadPolls) {
      Say("Unit response timeout\r\n");
      return Reply::kTimeout;
    }
    SleepMs(100);
    const std::uint32_t room = static_cast<std::uint32_t>(kAnswerBytes - received);
    if (!TracedReadComPort(comHandle, state.Answer + received, room, &state.bytesReceived)) {
      Say("COM Port read error\r\n");
      return Reply::kLineError;
    }
    received += static_cast<std::int32_t>(state.bytesReceived);
  }
  if (received != segLen + kPacketBytes || !CheckResponse(state.Answer, segLen)) {
    Say("Input data CRC error\r\n");
    return Reply::kBad;
  }
  return Reply::kGood;
}

// Fetches one segment, asking again after a bad response; false ends the transfer.
bool FetchSegment(RunState& state, std::int32_t segLen) {
  for (std::int32_t tries = 0; tries < kReadTries; ++tries) {
    const Reply reply = RequestSegment(state, segLen);
    if (reply == Reply::kGood) {
      return true;
    }
    if (reply != Reply::kBad) {
      return false;
    }
  }
  return false;
}

}  // namespace

bool FetchRegion(RunState& state, std::uint8_t* into, bool showProgress) {
  state.remaining = kRegionBytes;
  state.wordAddress = 0;
  std::int32_t progressCountdown = kProgressEvery;
  while (state.remaining != 0) {
    const std::int32_t segLen = SegmentLength(state.remaining);
    if (!FetchSegment(state, segLen)) {
      return false;
    }
    std::memcpy(into + state.wordAddress * 2, state.Answer + kDataOffset,
                static_cast<std::size_t>(segLen));
    if (showProgress) {
      CountGoodSegment(progressCountdown, state.remaining);
    }
    DeductSegment(state, segLen);
  }
  return true;
}

Outcome ReadRegion(RunState& state, const char* fileName) {
  DataPath path;
  if (!CanWriteDataFile(fileName, path)) {
    Say("Can't create data file %s\r\n", fileName);
    return Outcome::kFileError;
  }
  SleepMs(10);
  // The data file is touched only once the whole region is in.
  if (!FetchRegion(state, state.region, true) ||
      (state.verify && VerifyRegion(state) != Check::kAgree)) {
    Say("Transfer failed; %s was not changed\r\n", fileName);
    return Outcome::kFailed;
  }
  if (!WriteDataFile(path, state.region, sizeof state.region)) {
    Say("Can't write data file %s\r\n", fileName);
    Say("Transfer failed; %s was not changed\r\n", fileName);
    return Outcome::kFailed;
  }
  if (state.verify) {
    Say("Verified\r\n");
  }
  return Outcome::kDone;
}
