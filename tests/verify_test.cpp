// --verify in-process: the read-back after a write, the second reading of a read, and what
// each outcome prints, returns and leaves in the data file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>

#include "tests/fake/rig.h"
#include "tests/messages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kOld = {'o', 'l', 'd'};

// Differing bytes between two equal runs of `region` at `one` and `other`.
int Differ(const Bytes& region, std::size_t one, std::size_t other, std::size_t length) {
  int differ = 0;
  for (std::size_t i = 0; i < length; ++i) {
    differ += region[one + i] != region[other + i];
  }
  return differ;
}

// Every byte differs from the pattern the unit starts with, so that a segment left unstored
// differs whole.
Bytes Inverted() {
  Bytes bytes = AsBytes(PatternRegion());
  for (auto& byte : bytes) {
    byte = static_cast<std::uint8_t>(~byte);
  }
  return bytes;
}

struct VerifyCase {
  const char* what;
  FaultPlan plan;
  std::string console;  // before the prompt
  int status;
  std::size_t reads;  // read requests the unit received
};

TEST(VerifyAfterWrite, ReadsTheRegionBackAndComparesIt) {
  const Bytes image = Inverted();
  // Write request k is segment k-1; the read-back's requests are 53 to 104.
  const VerifyCase cases[] = {
      {"a unit that stored it all", {}, kProgress + kVerifying + kVerified, 0, 52},
      {"an acknowledged segment that was not stored", Plan({"nostore@5"}),
       kProgress + kVerifying + VerifyFailed(240, 960), 1, 52},
      {"two of them", Plan({"nostore@3", "nostore@52"}),
       kProgress + kVerifying + VerifyFailed(288, 480), 1, 52},
      {"a stale reply in the read-back", Plan({"stale@60"}),
       kProgress + kVerifying + VerifyFailed(Differ(image, 1440, 1680, 240), 1680), 1, 52},
      {"a read-back that times out", Plan({"drop@70"}), kProgress + kVerifying + kTimeout, 1, 18},
      {"a read-back with CRC errors", Plan({"badcrc@53-55"}),
       kProgress + kVerifying + kCrc + kCrc + kCrc, 1, 3},
      {"a failed acknowledgement is not verified", Plan({"badcrc@5"}),
       kCrc + Remain(7488) + Remain(2688), 1, 0},
  };
  for (const auto& c : cases) {
    Rig rig(c.plan);
    rig.WriteFile("image.bin", image);
    EXPECT_EQ(rig.Run({"--verify", "3", "image.bin"}), c.status) << c.what;
    EXPECT_EQ(rig.line.console, c.console + kPrompt) << c.what;
    EXPECT_EQ(rig.Requests("WC").size(), 52u) << c.what;
    const auto reads = rig.Requests("RC");
    EXPECT_EQ(reads.size(), c.reads) << c.what;
    if (c.reads == 52) {
      EXPECT_TRUE(FollowsSegmentPlan(reads)) << c.what;
    }
    EXPECT_EQ(rig.Names(), std::vector<std::string>{"image.bin"}) << c.what;
    EXPECT_EQ(rig.ReadFile("image.bin"), image) << c.what;
  }
}

TEST(VerifyInRead, WritesTheFileOnlyWhenTwoReadingsAgree) {
  const Bytes pattern = AsBytes(PatternRegion());
  // Read request k of the first reading is segment k-1; the second's are 53 to 104.
  const VerifyCase cases[] = {
      {"both readings agree", {}, kProgress + kVerifying + kVerified, 0, 104},
      {"a stale reply in the first", Plan({"stale@5"}),
       kProgress + kVerifying + VerifyFailed(Differ(pattern, 720, 960, 240), 960) +
           TransferFailed("dump.bin"),
       1, 104},
      {"a stale reply for the first segment", Plan({"stale@53"}),
       kProgress + kVerifying + VerifyFailed(Differ(pattern, 0, 240, 240), 0) +
           TransferFailed("dump.bin"),
       1, 104},
      {"a stale reply for the last segment", Plan({"stale@104"}),
       kProgress + kVerifying + VerifyFailed(Differ(pattern, 12000, 12240, 48), 12240) +
           TransferFailed("dump.bin"),
       1, 104},
      {"a second reading that times out", Plan({"drop@60"}),
       kProgress + kVerifying + kTimeout + TransferFailed("dump.bin"), 1, 60},
      {"a second reading with a read error", Plan({"hangup@60"}),
       kProgress + kVerifying + kReadError + TransferFailed("dump.bin"), 1, 60},
      {"a second reading with CRC errors", Plan({"badcrc@60-62"}),
       kProgress + kVerifying + kCrc + kCrc + kCrc + TransferFailed("dump.bin"), 1, 62},
      {"a CRC error retried in the second", Plan({"badcrc@60"}),
       kProgress + kVerifying + kCrc + kVerified, 0, 105},
      {"a failed first reading has no second", Plan({"drop@10"}),
       kTimeout + TransferFailed("dump.bin"), 1, 10},
  };
  for (const auto& c : cases) {
    Rig rig(c.plan);
    rig.WriteFile("dump.bin", kOld);
    EXPECT_EQ(rig.Run({"--verify", "3", "dump.bin", "read"}), c.status) << c.what;
    EXPECT_EQ(rig.line.console, c.console + kPrompt) << c.what;
    EXPECT_EQ(rig.Requests("RC").size(), c.reads) << c.what;
    EXPECT_EQ(rig.ReadFile("dump.bin"), c.status == 0 ? pattern : kOld) << c.what;
    EXPECT_EQ(rig.Names(), std::vector<std::string>{"dump.bin"}) << c.what;
  }
}

// A unit whose region changes once the first reading is done, as a live unit's may: the
// second reading is served by another unit with other data.
class ChangingUnit : public Peer {
 public:
  ChangingUnit(const Region& before, const Region& after)
      : before_(before, {}), after_(after, {}) {}
  void Take(const std::uint8_t* data, std::size_t length, std::uint64_t atUs) override {
    // The quiet command and the 52 requests of the first reading.
    (before_.requests().size() < 53 ? before_ : after_).Take(data, length, atUs);
  }
  void LineOpened(std::uint64_t atUs) override { before_.LineOpened(atUs); }
  std::deque<Emission>& outbox() override {
    return before_.outbox().empty() ? after_.outbox() : before_.outbox();
  }
  std::uint64_t hangupAtUs() const override { return kNever; }

 private:
  Unit before_;
  Unit after_;
};

TEST(VerifyInRead, ARegionThatChangesBetweenTheReadingsIsNotWritten) {
  Region after = PatternRegion();
  after[5000] ^= 0x01;
  after[7000] ^= 0x80;
  ChangingUnit unit(PatternRegion(), after);
  Rig rig;
  ResetLine(&unit);
  rig.WriteFile("dump.bin", kOld);
  EXPECT_EQ(rig.Run({"--verify", "3", "dump.bin", "read"}), 1);
  EXPECT_EQ(rig.line.console,
            kProgress + kVerifying + VerifyFailed(2, 5000) + TransferFailed("dump.bin") + kPrompt);
  EXPECT_EQ(rig.ReadFile("dump.bin"), kOld);
}

// A unit that lets the test act once it has received a number of requests.
class WatchedUnit : public Peer {
 public:
  WatchedUnit(std::size_t requests, std::function<void()> act)
      : unit_(PatternRegion(), {}), requests_(requests), act_(std::move(act)) {}
  void Take(const std::uint8_t* data, std::size_t length, std::uint64_t atUs) override {
    unit_.Take(data, length, atUs);
    if (unit_.requests().size() == requests_ && act_) {
      std::exchange(act_, nullptr)();
    }
  }
  void LineOpened(std::uint64_t atUs) override { unit_.LineOpened(atUs); }
  std::deque<Emission>& outbox() override { return unit_.outbox(); }
  std::uint64_t hangupAtUs() const override { return kNever; }

 private:
  Unit unit_;
  std::size_t requests_;
  std::function<void()> act_;
};

// A commit that fails after two agreeing readings says so as any read does, and not Verified.
TEST(VerifyInRead, AFailedCommitIsNotReportedVerified) {
  Rig rig;
  std::filesystem::create_directory(rig.Path("sub"));
  // The folder goes away during the second reading, so the file cannot be put there.
  WatchedUnit unit(80, [&] { std::filesystem::remove_all(rig.Path("sub")); });
  ResetLine(&unit);
  EXPECT_EQ(rig.Run({"--verify", "3", "sub/dump.bin", "read"}), 1);
  EXPECT_EQ(rig.line.console, kProgress + kVerifying + CantWrite("sub/dump.bin") +
                                  TransferFailed("sub/dump.bin") + kPrompt);
}

}  // namespace
