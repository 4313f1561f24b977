// The read direction on the fake line: exact counts, waits and file outcomes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/fake/bench.h"

#include "tests/messages.h"
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kFailed = TransferFailed("dump.bin");
const Bytes kOld = {0x0D, 0x0A, 0x00, 0x55};

TEST(ReadDirection, StoresTheWholeRegionInAddressOrder) {
  Bench bench;
  mode_t mask = umask(022);
  EXPECT_EQ(bench.Run({"3", "dump.bin", "read"}), 0);
  umask(mask);
  EXPECT_EQ(bench.ReadFile("dump.bin"), AsBytes(PatternRegion()));
  EXPECT_EQ(bench.line.console, kProgress + kPrompt);
  const auto requests = bench.Requests("RC");
  ASSERT_EQ(requests.size(), 52u);
  EXPECT_TRUE(FollowsSegmentPlan(requests));
  EXPECT_TRUE(bench.unit.faults().empty());
  EXPECT_EQ(bench.Names(), std::vector<std::string>{"dump.bin"});
  struct stat info;
  ASSERT_EQ(stat("dump.bin", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u) << "a new file gets the usual mode";
}

TEST(ReadDirection, FaultsGiveTheirMessagesStatusAndFile) {
  const FaultCase cases[] = {
      {"parts over several polls", Plan({"split@3:150", "bytewise@9:1"}), kProgress, 0, 52},
      {"nonsense header with a right CRC", Plan({"garble@1+"}), kProgress, 0, 52},
      {"reply late but within the bound", Plan({"delay@3:5040"}), kProgress, 0, 52},
      {"one bad CRC, retried", Plan({"badcrc@3"}), kCrc + kProgress, 0, 53},
      {"two bad CRCs, retried", Plan({"badcrc@3-4"}), kCrc + kCrc + kProgress, 0, 54},
      {"a flipped data bit, retried", Plan({"flipdata@30"}),
       "7728 bytes remain\r" + kCrc + "2928 bytes remain\r", 0, 53},
      {"a byte too many, retried", Plan({"extra@3"}), kCrc + kProgress, 0, 53},
      {"bytes before the preamble, retried", Plan({"prefix@3:2"}), kCrc + kProgress, 0, 53},
      {"bad CRC on every try", Plan({"badcrc@3+"}), kCrc + kCrc + kCrc + kFailed, 1, 5},
      {"silent after 10 segments", Plan({"drop@11+"}), kTimeout + kFailed, 1, 11},
      {"silent after 25 segments", Plan({"drop@26+"}), "7728 bytes remain\r" + kTimeout + kFailed,
       1, 26},
      {"reply past the bound", Plan({"delay@3:5050"}), kTimeout + kFailed, 1, 3},
      {"truncated frame", Plan({"truncate@3"}), kTimeout + kFailed, 1, 3},
      {"hang-up", Plan({"hangup@20"}), "COM Port read error\r\n" + kFailed, 1, 20},
  };
  for (const auto& c : cases) {
    Bench bench(c.plan);
    bench.WriteFile("dump.bin", kOld);
    EXPECT_EQ(bench.Run({"3", "dump.bin", "read"}), c.status) << c.what;
    EXPECT_EQ(bench.line.console, c.console + kPrompt) << c.what;
    EXPECT_EQ(bench.ReadFile("dump.bin"), c.status == 0 ? AsBytes(PatternRegion()) : kOld)
        << c.what;
    EXPECT_EQ(bench.Names(), std::vector<std::string>{"dump.bin"}) << c.what;
    EXPECT_EQ(bench.Requests("RC").size(), c.requests) << c.what;
    EXPECT_TRUE(bench.unit.faults().empty()) << c.what;
  }
}

TEST(ReadDirection, RetryAsksForTheSameSegmentAndMovesOnAfterIt) {
  Bench bench(Plan({"badcrc@3-4"}));
  EXPECT_EQ(bench.Run({"3", "dump.bin", "read"}), 0);
  const auto requests = bench.Requests("RC");
  ASSERT_EQ(requests.size(), 54u);
  EXPECT_EQ(requests[2].wordAddress, 240);
  EXPECT_EQ(requests[3].wordAddress, 240);
  EXPECT_EQ(requests[4].wordAddress, 240);
  EXPECT_EQ(requests[5].wordAddress, 360);
}

TEST(ReadDirection, SilentUnitIsGivenUpAfterFiftyEmptyPolls) {
  Bench bench(Plan({"drop@2+"}));
  EXPECT_EQ(bench.Run({"3", "dump.bin", "read"}), 1);
  const auto requests = bench.Requests("RC");
  ASSERT_EQ(requests.size(), 2u);
  // The request's 10 bytes take 0.868 ms on the line; then 50 polls of 100 + 1 ms.
  const double waitedMs = static_cast<double>(bench.line.nowUs - requests[1].atUs) / 1000.0;
  EXPECT_NEAR(waitedMs, 50 * 101 - 0.868, 0.01);
}

TEST(ReadDirection, RefusedTargetsEndTheRunBeforeAnyRequest) {
  const std::string longName(300, 'n');
  const struct {
    const char* what;
    std::string name;
  } cases[] = {
      {"a folder", "folder"},
      {"a folder that does not exist", "nosuch/dump.bin"},
      {"an empty name", ""},
      {"a name longer than the file system allows", longName},
  };
  for (const auto& c : cases) {
    Bench bench;
    ASSERT_EQ(mkdir(bench.Path("folder").c_str(), 0755), 0);
    EXPECT_EQ(bench.Run({"3", c.name, "read"}), -1) << c.what;
    EXPECT_EQ(bench.line.console, "Can't create data file " + c.name + "\r\n") << c.what;
    EXPECT_TRUE(bench.Requests("RC").empty()) << c.what;
    EXPECT_EQ(bench.Names(), std::vector<std::string>{"folder"}) << c.what;
  }
}

}  // namespace
