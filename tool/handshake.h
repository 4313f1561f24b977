#pragma once

#include "tool/run_state.h"

constexpr int kQuietAttempts = 999;

// Sends Quiet until one read returns exactly QuietResp; sets state.synced when it does.
void QuietHandshake(RunState& state);
