#include "tool/handshake.h"

#include <gtest/gtest.h>

#include <cstring>

#include "link/serial_port.h"

#include "tests/fake/rig.h"

namespace {

// The attempts QuietHandshake made, and whether it synced.
struct Result {
  bool synced;
  int attempts;
  std::uint64_t elapsedUs;
};

Result Handshake(const FaultPlan& plan) {
  Rig rig(plan);
  RunState state;
  // Whatever the unit sends on the line's opening has arrived before the first purge.
  rig.unit.LineOpened(0);
  rig.line.nowUs = 10000;
  QuietHandshake(state);
  return {state.synced, rig.line.QuietWrites(), rig.line.nowUs - 10000};
}

FaultPlan QuietPlan(std::int32_t quietFrom, std::int32_t noiseBefore = 0,
                    std::int32_t extraAfter = 0, std::int32_t noiseAtStart = 0) {
  FaultPlan plan;
  plan.quietFrom = quietFrom;
  plan.noiseBeforeAnswer = noiseBefore;
  plan.extraAfterAnswer = extraAfter;
  plan.noiseAtStart = noiseAtStart;
  return plan;
}

TEST(Handshake, SyncsOnTheAttemptTheAnswerFirstArrivesWhole) {
  const struct {
    const char* what;
    FaultPlan plan;
    int attempts;
  } cases[] = {
      {"answers at once", QuietPlan(1), 1},
      {"answers from attempt 2", QuietPlan(2), 2},
      {"answers from the last attempt", QuietPlan(999), 999},
      {"noise before the first 3 answers", QuietPlan(1, 3), 4},
      {"a byte too many behind the first answer", QuietPlan(1, 0, 1), 2},
      {"noise before the first command", QuietPlan(1, 0, 0, 40), 1},
  };
  for (const auto& c : cases) {
    const Result result = Handshake(c.plan);
    EXPECT_TRUE(result.synced) << c.what;
    EXPECT_EQ(result.attempts, c.attempts) << c.what;
  }
}

TEST(Handshake, GivesUpAfterExactly999AttemptsOfElevenMilliseconds) {
  const Result result = Handshake(QuietPlan(1000));
  EXPECT_FALSE(result.synced);
  EXPECT_EQ(result.attempts, 999);
  // Each attempt is the 10 ms sleep and the 1 ms read time-out.
  EXPECT_EQ(result.elapsedUs, 999u * 11000u);
}

TEST(Handshake, ClearsTheAnswerBufferBeforeEachAttempt) {
  Rig rig(QuietPlan(1000));
  RunState state;
  std::memset(state.Answer, 0xAB, sizeof state.Answer);
  QuietHandshake(state);
  for (std::uint8_t byte : state.Answer) {
    ASSERT_EQ(byte, 0);
  }
}

}  // namespace
