// The run sequence in-process: arguments, messages, pauses and exit statuses.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "tests/fake/rig.h"
#include "tests/messages.h"

namespace {

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
      {{"255", "f.bin"}, false, kNoAnswer + kPrompt, 9990, 1, "\\\\.\\COM255"},
      {{"07", "f.bin", "read"}, false, kNoAnswer + kPrompt, 9990, 1, "\\\\.\\COM7"},
      {{"12x", "f.bin"}, false, kNoAnswer + kPrompt, 9990, 1, "\\\\.\\COM12"},
      {{"-5", "f.bin"}, true, PortFailed("\\\\.\\COM-5", "2"), 2000, -1, "\\\\.\\COM-5"},
  };
  for (const auto& c : cases) {
    Rig rig(Silent());
    rig.line.openFails = c.openFails;
    const int status = rig.Run(c.args);
    const std::string what = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(status, c.status) << what;
    EXPECT_EQ(rig.line.console, c.console) << what;
    EXPECT_EQ(rig.line.sleptMs, c.sleptMs) << what;
    EXPECT_EQ(rig.line.openedPath, c.opened) << what;
    EXPECT_TRUE(rig.Names().empty()) << what << ": the data file was touched";
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
    Rig rig;
    rig.WriteFile("data.bin", std::vector<std::uint8_t>(kUnitRegionBytes, 0x42));
    EXPECT_EQ(rig.Run(c.args), 0) << c.args.back();
    EXPECT_EQ(rig.Requests(c.direction).size(), 52u) << c.args.back();
    EXPECT_EQ(rig.unit.requests().size(), 53u) << c.args.back();
  }
}

TEST(CommandLine, UnitThatNeverAnswersLeavesTheDataFileAlone) {
  Rig rig(Silent());
  rig.WriteFile("old.bin", {1, 2, 3});
  EXPECT_EQ(rig.Run({"3", "old.bin", "read"}), 1);
  EXPECT_EQ(rig.Run({"3", "new.bin", "read"}), 1);
  EXPECT_EQ(rig.ReadFile("old.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"old.bin"});
  EXPECT_EQ(rig.line.prompts, 2);
}

// Bytes that come after a reply, before the tool's next request, are dropped by the purge in
// front of that request; without it they would spoil the next reply.
TEST(Transfer, StrayBytesAfterAReplyAreDroppedBeforeTheNextRequest) {
  for (const bool read : {true, false}) {
    Rig rig;
    rig.line.strayAfterReply = {0x00, 0x55, 0x13};
    rig.WriteFile("data.bin", std::vector<std::uint8_t>(kUnitRegionBytes, 0x42));
    std::vector<std::string> args = {"3", "data.bin"};
    if (read) {
      args.push_back("read");
    }
    EXPECT_EQ(rig.Run(args), 0) << (read ? "read" : "write");
    EXPECT_EQ(rig.line.console, kProgress + kPrompt) << (read ? "read" : "write");
    EXPECT_EQ(rig.Requests(read ? "RC" : "WC").size(), 52u) << (read ? "read" : "write");
  }
}

// The first write the line does not take is reported once and ends the step it belongs to;
// what is still queued for sending is thrown away at once, and nothing more is sent.
TEST(Transfer, AWriteTheLineDoesNotTakeEndsTheStep) {
  const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
  const struct {
    const char* what;
    bool read;
    int writesFailFrom;  // the quiet command is write 1, request k is write k + 1
    std::string console;
    std::size_t requests;  // read or write requests the unit received
  } cases[] = {
      {"the quiet command, before a read", true, 1, kWriteError, 0},
      {"the quiet command, before a write", false, 1, kWriteError, 0},
      {"read request 5", true, 6, kWriteError + TransferFailed("data.bin"), 4},
      {"write request 5", false, 6, kWriteError, 4},
      {"the last write request", false, 53, kProgress + kWriteError, 51},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.line.writesFailFrom = c.writesFailFrom;
    rig.WriteFile("data.bin", c.read ? old : std::vector<std::uint8_t>(kUnitRegionBytes, 0x42));
    std::vector<std::string> args = {"3", "data.bin"};
    if (c.read) {
      args.push_back("read");
    }
    EXPECT_EQ(rig.Run(args), 1) << c.what;
    EXPECT_EQ(rig.line.console, c.console + kPrompt) << c.what;
    EXPECT_EQ(rig.Requests(c.read ? "RC" : "WC").size(), c.requests) << c.what;
    const std::string& calls = rig.line.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), 'F'), 1) << c.what << ": " << calls;
    EXPECT_EQ(calls.substr(calls.find('F')), "FD") << c.what << ": nothing may follow the discard";
    if (c.read) {
      EXPECT_EQ(rig.ReadFile("data.bin"), old) << c.what;
      EXPECT_EQ(rig.Names(), std::vector<std::string>{"data.bin"}) << c.what;
    }
  }
}

TEST(Rig, RunThatGoesOnPastTheVirtualTimeLimitFailsItsTest) {
  Rig rig(Silent());
  rig.line.limitUs = 1000000;
  int status = 0;
  EXPECT_NONFATAL_FAILURE(status = rig.Run({"3", "f.bin"}), "virtual time");
  EXPECT_EQ(status, Rig::kRunaway);
}

}  // namespace
