// The run sequence in-process: arguments, messages, pauses and exit statuses.
#include <gtest/gtest.h>

#include <climits>

#include "tests/fake/bench.h"
#include "tests/messages.h"

namespace {

const char kNoAnswer[] = "No answer from unit\r\nPress ENTER to continue\r\n";

FaultPlan Silent() {
  FaultPlan plan;
  plan.quietFrom = INT32_MAX;
  return plan;
}

TEST(CommandLine, ArgumentsGiveTheirMessagePauseAndStatus) {
  const struct {
    std::vector<std::string> args;
    bool openFails;
    std::string console;
    std::uint64_t sleptMs;  // the pause and, for a port that opens, the handshake's sleeps
    int status;
    std::string opened;
  } cases[] = {
      {{}, false, kUsage, 0, -1, ""},
      {{"3"}, false, kUsage, 0, -1, ""},
      {{"0", "f.bin"}, false, kInvalidPort, 2000, -1, ""},
      {{"256", "f.bin"}, false, kInvalidPort, 2000, -1, ""},
      {{"1000", "f.bin"}, false, kInvalidPort, 2000, -1, ""},
      {{"COM3", "f.bin"}, false, kInvalidPort, 2000, -1, ""},
      {{"X1", "f.bin", "read"}, false, kInvalidPort, 2000, -1, ""},
      {{"255", "f.bin"}, false, kNoAnswer, 9990, 1, "\\\\.\\COM255"},
      {{"07", "f.bin", "read"}, false, kNoAnswer, 9990, 1, "\\\\.\\COM7"},
      {{"12x", "f.bin"}, false, kNoAnswer, 9990, 1, "\\\\.\\COM12"},
      {{"-5", "f.bin"},
       true,
       "Can't open COM Port \\\\.\\COM-5 - Error: 2\nCouldn't open serial port \\\\.\\COM-5\n",
       2000,
       -1,
       "\\\\.\\COM-5"},
  };
  for (const auto& c : cases) {
    Bench bench(Silent());
    bench.line.openFails = c.openFails;
    const int status = bench.Run(c.args);
    const std::string what = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(status, c.status) << what;
    EXPECT_EQ(bench.line.console, c.console) << what;
    EXPECT_EQ(bench.line.sleptMs, c.sleptMs) << what;
    EXPECT_EQ(bench.line.openedPath, c.opened) << what;
    EXPECT_TRUE(bench.Names().empty()) << what << ": the data file was touched";
  }
}

TEST(CommandLine, ModeWordChoosesTheDirection) {
  const struct {
    std::vector<std::string> args;
    const char* direction;
  } cases[] = {
      {{"3", "data.bin", "read"}, "RC"}, {{"3", "data.bin", "readback"}, "RC"},
      {{"3", "data.bin", "READ"}, "WC"}, {{"3", "data.bin", "read", "extra"}, "WC"},
      {{"3", "data.bin"}, "WC"},         {{"1", "data.bin", "0", "4096"}, "WC"},
  };
  for (const auto& c : cases) {
    Bench bench;
    bench.WriteFile("data.bin", std::vector<std::uint8_t>(kUnitRegionBytes, 0x42));
    EXPECT_EQ(bench.Run(c.args), 0) << c.args.back();
    EXPECT_EQ(bench.Requests(c.direction).size(), 52u) << c.args.back();
    EXPECT_EQ(bench.unit.requests().size(), 53u) << c.args.back();
  }
}

TEST(CommandLine, UnitThatNeverAnswersLeavesTheDataFileAlone) {
  Bench bench(Silent());
  bench.WriteFile("old.bin", {1, 2, 3});
  EXPECT_EQ(bench.Run({"3", "old.bin", "read"}), 1);
  EXPECT_EQ(bench.Run({"3", "new.bin", "read"}), 1);
  EXPECT_EQ(bench.ReadFile("old.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(bench.Names(), std::vector<std::string>{"old.bin"});
  EXPECT_EQ(bench.line.prompts, 2);
}

}  // namespace
