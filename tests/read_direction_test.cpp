// The read direction on the fake line: exact counts, waits and file outcomes.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/fake/rig.h"
#include "tests/messages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kFailed = TransferFailed("dump.bin");
const Bytes kOld = {0x0D, 0x0A, 0x00, 0x55};

TEST(ReadDirection, StoresTheWholeRegionInAddressOrder) {
  Rig rig;
  mode_t mask = umask(022);
  EXPECT_EQ(rig.Run({"3", "dump.bin", "read"}), 0);
  umask(mask);
  EXPECT_EQ(rig.ReadFile("dump.bin"), AsBytes(PatternRegion()));
  EXPECT_EQ(rig.line.console, kProgress + kPrompt);
  const auto requests = rig.Requests("RC");
  ASSERT_EQ(requests.size(), 52u);
  EXPECT_TRUE(FollowsSegmentPlan(requests));
  EXPECT_TRUE(rig.unit.faults().empty());
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"dump.bin"});
  // The handshake's one attempt, the pause before the first request, one poll a segment.
  EXPECT_EQ(rig.line.sleptMs, 10u + 10u + 52u * 100u);
  struct stat info;
  ASSERT_EQ(stat("dump.bin", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u) << "a new file gets the usual mode";
}

TEST(ReadDirection, FaultsGiveTheirMessagesStatusAndFile) {
  const FaultCase cases[] = {
      {"parts over several polls", Plan({"split@3:150", "bytewise@9:1"}), kProgress, 0, 52},
      {"nonsense header with a right CRC", Plan({"garble@1+"}), kProgress, 0, 52},
      // The 50th poll of a try ends 5050 ms after the request; the request takes 0.868 ms to
      // reach the unit and a 250-byte response 21.7 ms to come back.
      {"reply late but within the bound", Plan({"delay@3:5027"}), kProgress, 0, 52},
      {"one bad CRC, retried", Plan({"badcrc@3"}), kCrc + kProgress, 0, 53},
      {"two bad CRCs, retried", Plan({"badcrc@3-4"}), kCrc + kCrc + kProgress, 0, 54},
      {"a flipped data bit, retried", Plan({"flipdata@30"}), Remain(7728) + kCrc + Remain(2928), 0,
       53},
      {"a byte too many, retried", Plan({"extra@3"}), kCrc + kProgress, 0, 53},
      {"bytes before the preamble, retried", Plan({"prefix@3:2"}), kCrc + kProgress, 0, 53},
      {"bad CRC on every try", Plan({"badcrc@3+"}), kCrc + kCrc + kCrc + kFailed, 1, 5},
      {"silent after 10 segments", Plan({"drop@11+"}), kTimeout + kFailed, 1, 11},
      {"silent after 25 segments", Plan({"drop@26+"}), Remain(7728) + kTimeout + kFailed, 1, 26},
      {"reply past the bound", Plan({"delay@3:5028"}), kTimeout + kFailed, 1, 3},
      {"reply that drips past the bound", Plan({"bytewise@3:100"}), kTimeout + kFailed, 1, 3},
      {"truncated frame", Plan({"truncate@3"}), kTimeout + kFailed, 1, 3},
      {"hang-up", Plan({"hangup@20"}), kReadError + kFailed, 1, 20},
  };
  for (const auto& c : cases) {
    Rig rig(c.plan);
    rig.WriteFile("dump.bin", kOld);
    EXPECT_EQ(rig.Run({"3", "dump.bin", "read"}), c.status) << c.what;
    EXPECT_EQ(rig.line.console, c.console + kPrompt) << c.what;
    EXPECT_EQ(rig.ReadFile("dump.bin"), c.status == 0 ? AsBytes(PatternRegion()) : kOld) << c.what;
    EXPECT_EQ(rig.Names(), std::vector<std::string>{"dump.bin"}) << c.what;
    EXPECT_EQ(rig.Requests("RC").size(), c.requests) << c.what;
    EXPECT_TRUE(rig.unit.faults().empty()) << c.what;
    EXPECT_TRUE(AsksForAllTheRoomLeft(rig.line)) << c.what;
  }
}

TEST(ReadDirection, RetryAsksForTheSameSegmentAndMovesOnAfterIt) {
  Rig rig(Plan({"badcrc@3-4"}));
  EXPECT_EQ(rig.Run({"3", "dump.bin", "read"}), 0);
  const auto requests = rig.Requests("RC");
  ASSERT_EQ(requests.size(), 54u);
  EXPECT_EQ(requests[2].wordAddress, 240);
  EXPECT_EQ(requests[3].wordAddress, 240);
  EXPECT_EQ(requests[4].wordAddress, 240);
  EXPECT_EQ(requests[5].wordAddress, 360);
}

TEST(ReadDirection, SilentUnitIsGivenUpAfterFiftyPolls) {
  Rig rig(Plan({"drop@2+"}));
  EXPECT_EQ(rig.Run({"3", "dump.bin", "read"}), 1);
  const auto requests = rig.Requests("RC");
  ASSERT_EQ(requests.size(), 2u);
  // The request's 10 bytes take 0.868 ms on the line; then 50 polls of 100 + 1 ms.
  const double waitedMs = static_cast<double>(rig.line.nowUs - requests[1].atUs) / 1000.0;
  EXPECT_NEAR(waitedMs, 50 * 101 - 0.868, 0.01);
}

TEST(ReadDirection, RefusedTargetsEndTheRunBeforeAnyRequest) {
  const std::string longName(300, 'n');
  const struct {
    const char* what;
    std::string name;
    void (*setup)();  // run in the rig's folder
  } cases[] = {
      {"a folder", "folder", [] {}},
      {"a folder that does not exist", "nosuch/dump.bin", [] {}},
      {"an empty name", "", [] {}},
      {"a name longer than the file system allows", longName, [] {}},
      {"a dangling link", "dangling", [] { ASSERT_EQ(symlink("nowhere.bin", "dangling"), 0); }},
      // Followed, a link planted in a shared folder could aim root's read at any file.
      {"a link of another user", "planted",
       [] {
         std::FILE* file = std::fopen("theirs.bin", "wb");
         ASSERT_NE(file, nullptr);
         std::fclose(file);
         ASSERT_EQ(symlink("theirs.bin", "planted"), 0);
         ASSERT_EQ(lchown("planted", 65534, 65534), 0) << "the tests run as root";
       }},
  };
  for (const auto& c : cases) {
    Rig rig;
    ASSERT_EQ(mkdir(rig.Path("folder").c_str(), 0755), 0);
    c.setup();
    const auto before = rig.Names();
    EXPECT_EQ(rig.Run({"3", c.name, "read"}), -1) << c.what;
    EXPECT_EQ(rig.line.console, CantCreate(c.name)) << c.what;
    EXPECT_TRUE(rig.Requests("RC").empty()) << c.what;
    EXPECT_EQ(rig.Names(), before) << c.what;
  }
}

// A chain of the user's own links, relative ones among them, leads to the file a read replaces;
// the links stay links. The new file has the old one's permission bits, less setuid, setgid and
// sticky.
TEST(ReadDirection, FollowsTheUsersOwnLinksToTheFileItReplaces) {
  Rig rig;
  rig.WriteFile("real.bin", kOld);
  ASSERT_EQ(chmod("real.bin", 07754), 0);
  ASSERT_EQ(mkdir("sub", 0755), 0);
  ASSERT_EQ(symlink("../real.bin", "sub/b"), 0);
  ASSERT_EQ(symlink("sub/b", "a"), 0);
  EXPECT_EQ(rig.Run({"3", "a", "read"}), 0);
  EXPECT_EQ(rig.ReadFile("real.bin"), AsBytes(PatternRegion()));
  struct stat info;
  ASSERT_EQ(lstat("a", &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(lstat("sub/b", &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(stat("real.bin", &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0754u);
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"a", "real.bin", "sub"}));
}

}  // namespace
