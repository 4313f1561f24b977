#pragma once

#include "tool/run_state.h"

constexpr int kQuietAttempts = 999;

enum class Sync {
  kSynced,       // the unit answered; state.synced is set
  kNoAnswer,     // every attempt went unanswered
  kWriteFailed,  // the line did not take the quiet command; no further attempt was made
};

// Sends Quiet until one read returns exactly QuietResp.
Sync QuietHandshake(RunState& state);
