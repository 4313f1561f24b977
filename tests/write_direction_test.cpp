// The write direction on the fake line: exact counts, waits and what the unit receives.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <random>

#include "tests/fake/rig.h"
#include "tests/messages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (auto& byte : bytes) {
    byte = static_cast<std::uint8_t>(random());
  }
  return bytes;
}

TEST(WriteDirection, SendsTheFirst12288BytesInPlanOrder) {
  for (std::size_t size : {std::size_t{12288}, std::size_t{20000}}) {
    Rig rig;
    const Bytes data = RandomBytes(size, 7);
    rig.WriteFile("image.bin", data);
    EXPECT_EQ(rig.Run({"3", "image.bin"}), 0) << size;
    EXPECT_EQ(AsBytes(rig.unit.region()), Bytes(data.begin(), data.begin() + 12288)) << size;
    EXPECT_EQ(rig.line.console, kProgress + kPrompt) << size;
    const auto requests = rig.Requests("WC");
    ASSERT_EQ(requests.size(), 52u);
    EXPECT_TRUE(FollowsSegmentPlan(requests));
    EXPECT_TRUE(rig.unit.faults().empty());
  }
}

TEST(WriteDirection, FaultsGiveTheirMessagesAndStatusAndNoSegmentTwice) {
  const FaultCase cases[] = {
      {"acknowledgement in two parts", Plan({"split@3:15", "bytewise@8:4"}), kProgress, 0, 52},
      {"nonsense acknowledgement with a right CRC", Plan({"garble@1+"}), kProgress, 0, 52},
      {"acknowledgement late but within the bound", Plan({"delay@1:5470"}), kProgress, 0, 52},
      // The failed segment does not count: the 20th good one is the 21st segment.
      {"acknowledgement with a wrong CRC", Plan({"badcrc@5"}), kCrc + Remain(7488) + Remain(2688),
       1, 52},
      {"unit stops answering", Plan({"drop@10+"}), kTimeout, 1, 10},
      {"acknowledgement past the bound", Plan({"delay@1:5480"}), kTimeout, 1, 1},
      {"acknowledgement with a byte too many", Plan({"extra@5"}), kTimeout, 1, 5},
      {"hang-up", Plan({"hangup@7"}), kTimeout, 1, 7},
  };
  for (const auto& c : cases) {
    Rig rig(c.plan);
    rig.WriteFile("image.bin", RandomBytes(12288, 3));
    EXPECT_EQ(rig.Run({"3", "image.bin"}), c.status) << c.what;
    EXPECT_EQ(rig.line.console, c.console + kPrompt) << c.what;
    const auto requests = rig.Requests("WC");
    EXPECT_EQ(requests.size(), c.requests) << c.what;
    EXPECT_TRUE(FollowsSegmentPlan(requests)) << c.what << ": a segment sent twice or out of order";
    EXPECT_TRUE(rig.unit.faults().empty()) << c.what;
    EXPECT_TRUE(AsksForAllTheRoomLeft(rig.line)) << c.what;
  }
}

TEST(WriteDirection, SilentUnitIsGivenUpAfterFiveHundredEmptyPolls) {
  Rig rig(Plan({"drop@1+"}));
  rig.WriteFile("image.bin", RandomBytes(12288, 5));
  EXPECT_EQ(rig.Run({"3", "image.bin"}), 1);
  EXPECT_EQ(rig.line.reads, 1 + 500);  // one handshake read, then the polls
  EXPECT_EQ(rig.line.sleptMs, 10u + 10u + 500u * 10u);
}

TEST(WriteDirection, FilesThatCannotFillTheRegionSendNothing) {
  const struct {
    const char* what;
    std::string name;
    std::size_t size;  // bytes to put in it; npos: leave it absent
    std::string console;
  } cases[] = {
      {"missing", "image.bin", std::string::npos, CantOpen("image.bin")},
      {"a folder", "folder", std::string::npos, CantOpen("folder")},
      // Opened as a file, a FIFO would wait for a writer for ever.
      {"a FIFO", "fifo", std::string::npos, CantOpen("fifo")},
      {"empty", "image.bin", 0, TooShort("image.bin")},
      {"one byte short", "image.bin", 12287, TooShort("image.bin")},
  };
  for (const auto& c : cases) {
    Rig rig;
    ASSERT_EQ(mkdir(rig.Path("folder").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(rig.Path("fifo").c_str(), 0644), 0);
    if (c.size != std::string::npos) {
      rig.WriteFile(c.name, RandomBytes(c.size, 9));
    }
    EXPECT_EQ(rig.Run({"3", c.name}), -1) << c.what;
    EXPECT_EQ(rig.line.console, c.console) << c.what;
    EXPECT_TRUE(rig.Requests("WC").empty()) << c.what;
    EXPECT_EQ(AsBytes(rig.unit.region()), AsBytes(PatternRegion())) << c.what;
  }
}

}  // namespace
