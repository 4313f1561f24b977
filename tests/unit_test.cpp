// The simulated unit must itself be right: it is what the tool's tests trust.
#include "sim/unit.h"

#include <gtest/gtest.h>

#include <cstring>

#include "link/packet.h"

namespace {

std::vector<std::uint8_t> ReadRequest(std::int32_t wordAddress, std::int32_t segLen) {
  std::uint8_t request[10];
  BuildReadRequest(request, wordAddress, segLen);
  return {request, request + 10};
}

std::vector<std::uint8_t> Sent(Unit& unit) {
  std::vector<std::uint8_t> all;
  for (const Emission& e : unit.outbox()) {
    all.insert(all.end(), e.bytes.begin(), e.bytes.end());
  }
  unit.outbox().clear();
  return all;
}

TEST(SimulatedUnit, AnswersReadsWithItsRegionAndStoresWrites) {
  Unit unit(PatternRegion(), {});
  const auto read = ReadRequest(6120, 48);
  unit.Take(read.data(), read.size(), 0);
  const auto response = Sent(unit);
  ASSERT_EQ(response.size(), 58u);
  EXPECT_TRUE(CheckResponse(response.data(), 48));
  EXPECT_EQ(0, std::memcmp(response.data() + 8, PatternRegion().data() + 12240, 48));

  std::uint8_t write[250] = {};
  std::memset(write + 8, 0x5A, 240);
  BuildWriteRequest(write, 120, 240);
  unit.Take(write, sizeof write, 0);
  const auto ack = Sent(unit);
  ASSERT_EQ(ack.size(), 10u);
  EXPECT_TRUE(CheckResponse(ack.data(), 0));
  EXPECT_EQ(unit.region()[240], 0x5A);
  EXPECT_EQ(unit.region()[479], 0x5A);
  EXPECT_NE(unit.region()[480], 0x5A);
  EXPECT_TRUE(unit.faults().empty());
}

TEST(SimulatedUnit, ReportsFaultyRequestsOfTheTool) {
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"wrong CRC",
       [] {
         auto r = ReadRequest(0, 240);
         r[9] ^= 1;
         return r;
       }()},
      {"address outside the plan", ReadRequest(60, 240)},
      {"word count outside the plan", ReadRequest(6120, 240)},
      {"bytes outside a frame", {0x00, 0x13}},
  };
  for (const auto& c : cases) {
    Unit unit(PatternRegion(), {});
    unit.Take(c.bytes.data(), c.bytes.size(), 0);
    EXPECT_EQ(unit.faults().size(), 1u) << c.what;
    EXPECT_TRUE(Sent(unit).empty()) << c.what;
  }
}

TEST(SimulatedUnit, FaultPlanRulesParse) {
  FaultRule rule;
  std::string error;
  ASSERT_TRUE(ParseFaultRule("split@3+:40", rule, error));
  EXPECT_EQ(rule.kind, FaultKind::kSplit);
  EXPECT_EQ(rule.first, 3);
  EXPECT_EQ(rule.last, INT32_MAX);
  EXPECT_EQ(rule.param, 40);
  ASSERT_TRUE(ParseFaultRule("badcrc@2-4", rule, error));
  EXPECT_EQ(rule.first, 2);
  EXPECT_EQ(rule.last, 4);
  for (const char* bad : {"badcrc", "nosuch@1", "drop@0", "drop@x", "drop@4-2", "delay@1:x"}) {
    EXPECT_FALSE(ParseFaultRule(bad, rule, error)) << bad;
  }
}

}  // namespace
