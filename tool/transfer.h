// The two transfer directions and the segment plan and progress rule they share.
#pragma once

#include <cstdint>

#include "tool/run_state.h"

constexpr std::int32_t kSegmentBytes = 240;
constexpr std::int32_t kProgressEvery = 20;
constexpr std::int32_t kReadPolls = 50;  // a try's polls, whatever they bring
constexpr std::int32_t kReadTries = 3;
constexpr std::int32_t kWriteEmptyPolls = 500;

enum class Outcome {
  kDone,       // every segment stored or acknowledged
  kFailed,     // the transfer met an error; the run still reaches the prompt
  kFileError,  // the data file was refused; the run ends before the prompt
};

// Segment plan (segment_plan.cpp): 240 bytes at a time from word address 0, the last segment
// shorter.
std::int32_t SegmentLength(std::int32_t remaining);
void DeductSegment(RunState& state, std::int32_t segLen);

// Progress rule (progress.cpp): counts a good segment; every 20th prints how much of the region
// was still to go.
void CountGoodSegment(std::int32_t& progressCountdown, std::int32_t remaining);

// Reads the whole region into `into` (kRegionBytes), with or without the progress lines; false
// as soon as a segment cannot be had, once the failure is printed.
bool FetchRegion(RunState& state, std::uint8_t* into, bool showProgress);

enum class Check {
  kAgree,
  kDiffer,     // the mismatch is printed
  kUnreadable  // the reading failed, as printed
};

// --verify: prints "Verifying", reads the region again into state.readBack without progress
// lines and compares it with state.region.
Check VerifyRegion(RunState& state);

// Reads the unit's region into `fileName`, replacing it only when every segment was stored.
Outcome ReadRegion(RunState& state, const char* fileName);

// Sends the first 12288 bytes of `fileName` to the unit.
Outcome WriteRegion(RunState& state, const char* fileName);
