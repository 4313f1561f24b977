// The real program against unitsim, run by one launcher (native or Wine, from E2E_LAUNCHER).
// Every scenario gives the same standard output under both, except where a row says.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <regex>
#include <thread>

#include "link/packet.h"
#include "sim/unit.h"
#include "tests/e2e/harness.h"
#include "tests/messages.h"
#include "tests/support/trace_file.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kFailed = TransferFailed("data.bin");
const Bytes kOldBytes = {'o', 'l', 'd', 0x0D, 0x0A};

Bytes Image(std::size_t size) {
  std::mt19937 random(11);
  Bytes bytes(size);
  for (auto& byte : bytes) {
    byte = static_cast<std::uint8_t>(random());
  }
  // The bytes a cooked or XON/XOFF line would eat or change.
  const Bytes awkward = {0x00, 0x0A, 0x0D, 0x11, 0x13, 0x55, 0x55, 0x0D};
  for (std::size_t at = 0; at + awkward.size() <= size; at += 500) {
    std::copy(awkward.begin(), awkward.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return bytes;
}

Bytes Pattern() {
  const Region region = PatternRegion();
  return Bytes(region.begin(), region.end());
}

// What a unit that answers each read with the segment before it would give.
Bytes OneSegmentLater(const Bytes& region) {
  Bytes later(240, 0);
  later.insert(later.end(), region.begin(), region.end());
  return later;
}

// How many bytes of segment `index` differ between `one` and `other`, and the first of them.
std::string SegmentDiffers(const Bytes& one, const Bytes& other, std::size_t index) {
  int differ = 0;
  for (std::size_t at = index * 240; at < (index + 1) * 240; ++at) {
    differ += one[at] != other[at];
  }
  return VerifyFailed(differ, static_cast<int>(index * 240));
}

// Nothing but the data file and the files the test made is left in `folder`.
void ExpectNoOtherFiles(const fs::path& folder, const std::string& what) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "data.bin" || name.rfind("unit", 0) == 0 || name == "tool.err")
        << what << name << " was left";
  }
}

std::vector<std::string> Faults(const std::vector<std::string>& log) {
  std::vector<std::string> faults;
  for (const std::string& line : log) {
    if (line.rfind("FAULT", 0) == 0) {
      faults.push_back(line);
    }
  }
  return faults;
}

enum class Before { kNone, kOld, kImage, kLongImage, kShort, kFolder };
enum class After { kPattern, kOld, kAbsent, kNoMatter };
enum class UnitAfter { kPattern, kImage, kAny };

struct Scenario {
  const char* name;
  std::vector<std::string> options{};  // before the port number
  bool read = false;
  std::vector<std::string> sim{};  // unitsim's options
  Before before = Before::kNone;
  std::string out{};  // standard output before the prompt
  int status = 0;     // 255 is the -1 that ends a run before the prompt
  After after = After::kNoMatter;
  UnitAfter unit = UnitAfter::kAny;
  long requests = -1;     // read or write requests the unit received; -1: not checked
  long readBack = 0;      // read requests after a write
  std::string wineOut{};  // where Wine differs
};

// Under Wine a hung-up pseudo-terminal reads as a quiet line, so the wait runs out instead. A
// unit that resets goes on answering Quiet only; to the run it falls silent. In the write
// direction a failed read counts as an empty poll, so both launchers time out on a hang-up.
// clang-format off
const Scenario kScenarios[] = {
    {.name = "ReadWhole",                  .read = true, .before = Before::kOld,  .out = kProgress,                        .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 52},
    {.name = "ReadAfterLateQuietAnswer",   .read = true, .sim = {"--quiet-from", "3", "--noise-at-start", "5"},                 .out = kProgress,                        .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 52},
    {.name = "ReadResponsesInParts",       .read = true, .sim = {"--fault", "split@3:150", "--fault", "bytewise@5:1"},          .out = kProgress,                        .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 52},
    {.name = "ReadCrcErrorOnceIsRetried",  .read = true, .sim = {"--fault", "badcrc@3"},      .before = Before::kOld, .out = kCrc + kProgress,                 .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 53},
    {.name = "ReadTrailingBytesAreRetried", .read = true, .sim = {"--fault", "extra@3:2"},    .before = Before::kOld, .out = kCrc + kProgress,                 .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 53},
    {.name = "ReadCrcErrorOnEveryTry",     .read = true, .sim = {"--fault", "badcrc@3+"},     .before = Before::kOld, .out = kCrc + kCrc + kCrc + kFailed, .status = 1, .after = After::kOld, .unit = UnitAfter::kPattern, .requests = 5},
    {.name = "ReadUnitFallsSilent",        .read = true, .sim = {"--fault", "drop@11+"},      .before = Before::kOld, .out = kTimeout + kFailed,   .status = 1, .after = After::kOld,     .unit = UnitAfter::kPattern, .requests = 11},
    {.name = "ReadHangUp",                 .read = true, .sim = {"--fault", "hangup@20"},                             .out = kReadError + kFailed, .status = 1, .after = After::kAbsent,  .unit = UnitAfter::kPattern, .requests = 20, .wineOut = kTimeout + kFailed},
    {.name = "ReadNoAnswerFromUnit",       .read = true, .sim = {"--quiet-from", "1000000"},  .before = Before::kOld, .out = kNoAnswer,            .status = 1, .after = After::kOld,     .unit = UnitAfter::kPattern, .requests = 0},
    {.name = "ReadIntoAFolder",            .read = true,                                      .before = Before::kFolder, .out = CantCreate("data.bin"), .status = 255,                   .unit = UnitAfter::kPattern, .requests = 0},
    {.name = "WriteWhole",                                                                    .before = Before::kImage, .out = kProgress,                                                .unit = UnitAfter::kImage,   .requests = 52},
    {.name = "WriteLongerFileSendsItsStart",                                                  .before = Before::kLongImage, .out = kProgress,                                            .unit = UnitAfter::kImage,   .requests = 52},
    {.name = "WriteAckInParts",                          .sim = {"--fault", "split@3:15"},    .before = Before::kImage, .out = kProgress,                                                .unit = UnitAfter::kImage,   .requests = 52},
    {.name = "WriteAckWithWrongCrc",                     .sim = {"--fault", "badcrc@5"},      .before = Before::kImage, .out = kCrc + Remain(7488) + Remain(2688), .status = 1,          .unit = UnitAfter::kImage,   .requests = 52},
    {.name = "WriteUnitStopsAnswering",                  .sim = {"--fault", "drop@10+"},      .before = Before::kImage, .out = kTimeout,             .status = 1,                                                 .requests = 10},
    {.name = "WriteAckWithAByteTooMany",                 .sim = {"--fault", "extra@5"},       .before = Before::kImage, .out = kTimeout,             .status = 1,                                                 .requests = 5},
    {.name = "WriteShortFileSendsNothing",                                                    .before = Before::kShort, .out = TooShort("data.bin"), .status = 255,                       .unit = UnitAfter::kPattern, .requests = 0},
    {.name = "WriteMissingFileSendsNothing",                                                                            .out = CantOpen("data.bin"), .status = 255,                       .unit = UnitAfter::kPattern, .requests = 0},
    // The fault matrix: each way a reply can go wrong, in both directions where it applies.
    {.name = "ReadBytesBeforePreamble",    .read = true, .sim = {"--fault", "prefix@3:2"},    .before = Before::kOld, .out = kCrc + kProgress,                 .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 53},
    {.name = "ReadFlippedDataBit",         .read = true, .sim = {"--fault", "flipdata@3"},    .before = Before::kOld, .out = kCrc + kProgress,                 .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 53},
    {.name = "ReadReplyAtHalfTheBound",    .read = true, .sim = {"--fault", "delay@3:2500"},  .before = Before::kOld, .out = kProgress,                        .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 52},
    {.name = "ReadReplyAtTwiceTheBound",   .read = true, .sim = {"--fault", "delay@3:10100"}, .before = Before::kOld, .out = kTimeout + kFailed,   .status = 1, .after = After::kOld,     .unit = UnitAfter::kPattern, .requests = 3},
    {.name = "ReadDroppedReply",           .read = true, .sim = {"--fault", "drop@5"},        .before = Before::kOld, .out = kTimeout + kFailed,   .status = 1, .after = After::kOld,     .unit = UnitAfter::kPattern, .requests = 5},
    {.name = "ReadTruncatedFrame",         .read = true, .sim = {"--fault", "truncate@3"},    .before = Before::kOld, .out = kTimeout + kFailed,   .status = 1, .after = After::kOld,     .unit = UnitAfter::kPattern, .requests = 3},
    {.name = "ReadUnitResets",             .read = true, .sim = {"--fault", "drop@30+"},      .before = Before::kOld, .out = Remain(7728) + kTimeout + kFailed, .status = 1, .after = After::kOld, .unit = UnitAfter::kPattern, .requests = 30},
    {.name = "WriteAckByteByByte",                       .sim = {"--fault", "bytewise@3:2"},  .before = Before::kImage, .out = kProgress,                                                .unit = UnitAfter::kImage,   .requests = 52},
    {.name = "WriteAckAtHalfTheBound",                   .sim = {"--fault", "delay@3:2750"},  .before = Before::kImage, .out = kProgress,                                                .unit = UnitAfter::kImage,   .requests = 52},
    {.name = "WriteAckAtTwiceTheBound",                  .sim = {"--fault", "delay@3:11000"}, .before = Before::kImage, .out = kTimeout,             .status = 1,                                                 .requests = 3},
    {.name = "WriteDroppedAck",                          .sim = {"--fault", "drop@5"},        .before = Before::kImage, .out = kTimeout,             .status = 1,                                                 .requests = 5},
    {.name = "WriteTruncatedAck",                        .sim = {"--fault", "truncate@3:4"},  .before = Before::kImage, .out = kTimeout,             .status = 1,                                                 .requests = 3},
    {.name = "WriteFlippedCrcBit",                       .sim = {"--fault", "badcrc@52"},     .before = Before::kImage, .out = kProgress + kCrc,     .status = 1,                       .unit = UnitAfter::kImage,   .requests = 52},
    {.name = "WriteHangUp",                              .sim = {"--fault", "hangup@7"},      .before = Before::kImage, .out = kTimeout,             .status = 1,                                                 .requests = 7},
    // A line that takes nothing, as one with CTS low: the first write fails after 5 s.
    {.name = "ReadLineHeldOff",            .read = true, .sim = {"--hold-output", "0"},       .before = Before::kOld, .out = kWriteError,          .status = 1, .after = After::kOld,     .unit = UnitAfter::kPattern, .requests = 0},
    {.name = "ReadLineHeldOffFromRequest5", .read = true, .sim = {"--hold-output", "5"},      .before = Before::kOld, .out = kWriteError + kFailed, .status = 1, .after = After::kOld,    .unit = UnitAfter::kPattern, .requests = 5},
    // --verify: a second reading in a read, a read-back after a write.
    {.name = "ReadVerified",               .options = {"--verify"}, .read = true, .before = Before::kOld, .out = kProgress + kVerifying + kVerified, .after = After::kPattern, .unit = UnitAfter::kPattern, .requests = 104},
    {.name = "ReadVerifyCatchesAStaleReply", .options = {"--verify"}, .read = true, .sim = {"--fault", "stale@5"}, .before = Before::kOld, .out = kProgress + kVerifying + SegmentDiffers(Pattern(), OneSegmentLater(Pattern()), 4) + kFailed, .status = 1, .after = After::kOld, .unit = UnitAfter::kPattern, .requests = 104},
    {.name = "ReadVerifySecondReadingTimesOut", .options = {"--verify"}, .read = true, .sim = {"--fault", "drop@60"}, .before = Before::kOld, .out = kProgress + kVerifying + kTimeout + kFailed, .status = 1, .after = After::kOld, .unit = UnitAfter::kPattern, .requests = 60},
    {.name = "WriteVerified",              .options = {"--verify"}, .before = Before::kImage, .out = kProgress + kVerifying + kVerified, .unit = UnitAfter::kImage, .requests = 52, .readBack = 52},
    {.name = "WriteVerifyCatchesAnUnstoredSegment", .options = {"--verify"}, .sim = {"--fault", "nostore@5"}, .before = Before::kImage, .out = kProgress + kVerifying + SegmentDiffers(Image(12288), Pattern(), 4), .status = 1, .requests = 52, .readBack = 52},
    {.name = "WriteLineHeldOffFromRequest5",             .sim = {"--hold-output", "5"},       .before = Before::kImage, .out = kWriteError,        .status = 1,                                                 .requests = 5},
};
// clang-format on

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

class EndToEnd : public ::testing::TestWithParam<Scenario> {
 protected:
  Launcher launcher = Launcher::FromEnvironment();
  TempFolder folder;
};

TEST_P(EndToEnd, Scenario) {
  const Scenario& s = GetParam();
  const fs::path data = folder.path() / "data.bin";
  const Bytes image = Image(s.before == Before::kLongImage ? 20000 : 12288);
  switch (s.before) {
    case Before::kOld:
      WriteBytes(data, kOldBytes);
      break;
    case Before::kImage:
    case Before::kLongImage:
      WriteBytes(data, image);
      break;
    case Before::kShort:
      WriteBytes(data, Bytes(100, 0x55));
      break;
    case Before::kFolder:
      fs::create_directory(data);
      break;
    case Before::kNone:
      break;
  }
  Simulator sim(folder.path(), s.sim);
  std::vector<std::string> args = s.options;
  args.insert(args.end(), {std::to_string(launcher.slot()), "data.bin"});
  if (s.read) {
    args.push_back("read");
  }
  const Finished run = launcher.Run(args, sim.device(), folder.path());
  const int simStatus = sim.Stop();
  const auto log = sim.Log();

  ASSERT_FALSE(run.timedOut) << "the tool hung";
  const std::string expected = (launcher.wine() && !s.wineOut.empty() ? s.wineOut : s.out) +
                               (s.status == 255 ? "" : kPrompt);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.status, s.status);
  EXPECT_EQ(simStatus, 0) << "the unit saw a faulty request";
  EXPECT_TRUE(Faults(log).empty()) << Faults(log)[0];
  if (s.requests >= 0) {
    EXPECT_EQ(sim.Requests(s.read ? "RC" : "WC"), static_cast<std::size_t>(s.requests));
    EXPECT_EQ(sim.Requests(s.read ? "WC" : "RC"), static_cast<std::size_t>(s.readBack));
  }
  switch (s.after) {
    case After::kPattern:
      EXPECT_EQ(ReadBytes(data), Pattern());
      break;
    case After::kOld:
      EXPECT_EQ(ReadBytes(data), kOldBytes);
      break;
    case After::kAbsent:
      EXPECT_FALSE(fs::exists(data));
      break;
    case After::kNoMatter:
      break;
  }
  if (s.unit == UnitAfter::kImage) {
    EXPECT_EQ(ReadBytes(sim.savedRegion()), Bytes(image.begin(), image.begin() + 12288));
  } else if (s.unit == UnitAfter::kPattern) {
    EXPECT_EQ(ReadBytes(sim.savedRegion()), Pattern());
  }
  ExpectNoOtherFiles(folder.path(), "");
}

INSTANTIATE_TEST_SUITE_P(Table, EndToEnd, ::testing::ValuesIn(kScenarios),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(EndToEndRoundTrip, ReadWriteAndReadAgainAgree) {
  const Launcher launcher = Launcher::FromEnvironment();
  TempFolder folder;
  Simulator sim(folder.path(), {});
  const std::string slot = std::to_string(launcher.slot());
  const Finished first = launcher.Run({slot, "first.bin", "read"}, sim.device(), folder.path());
  EXPECT_EQ(first.status, 0);
  Bytes changed = ReadBytes(folder.path() / "first.bin");
  ASSERT_EQ(changed, Pattern());
  for (std::size_t i = 0; i < changed.size(); i += 7) {
    changed[i] = static_cast<std::uint8_t>(~changed[i]);
  }
  WriteBytes(folder.path() / "changed.bin", changed);
  EXPECT_EQ(launcher.Run({slot, "changed.bin"}, sim.device(), folder.path()).status, 0);
  EXPECT_EQ(launcher.Run({slot, "second.bin", "read"}, sim.device(), folder.path()).status, 0);
  EXPECT_EQ(ReadBytes(folder.path() / "second.bin"), changed);
  EXPECT_EQ(sim.Stop(), 0);
}

// Masks the platform's error number, which is errno natively and a Windows code under Wine.
std::string MaskErrors(const std::string& text) {
  return std::regex_replace(text, std::regex("Error: -?[0-9]+"), "Error: N");
}

TEST(EndToEndCommandLine, RefusedArgumentsEndTheRunBeforeThePort) {
  const Launcher launcher = Launcher::FromEnvironment();
  const struct {
    std::vector<std::string> args;
    std::string out;
    bool pause;
  } cases[] = {
      {{}, kUsage, false},
      {{"3"}, kUsage, false},
      {{"0", "f.bin"}, kInvalidPort, true},
      {{"256", "f.bin"}, kInvalidPort, true},
      {{"1000", "f.bin"}, kInvalidPort, true},
      {{"COM3", "f.bin"}, kInvalidPort, true},
      {{"X1", "f.bin", "read"}, kInvalidPort, true},
      {{"42", "f.bin", "read"}, PortFailed("\\\\.\\COM42", "N"), true},
      {{"-5", "f.bin"}, PortFailed("\\\\.\\COM-5", "N"), true},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    const std::string what = c.args.empty() ? "(none)" : c.args[0];
    const Finished run = launcher.Run(c.args, "", folder.path());
    ASSERT_FALSE(run.timedOut) << what;
    EXPECT_EQ(MaskErrors(run.out), c.out) << what;
    EXPECT_EQ(run.status, 255) << what;
    if (c.pause) {
      EXPECT_GE(run.took, std::chrono::milliseconds(1900)) << what << ": no pause";
    }
    EXPECT_FALSE(fs::exists(folder.path() / "f.bin")) << what;
  }
}

}  // namespace

namespace {

TEST(EndToEndDataFile, RefusedNamesEndTheRunWithTheUnitUntouched) {
  const Launcher launcher = Launcher::FromEnvironment();
  const std::string longName(300, 'n');
  const struct {
    const char* what;
    std::string name;
  } cases[] = {
      {"an empty name", ""},
      {"a name longer than the file system allows", longName},
      {"a folder", "folder"},
      {"a file in a folder that does not exist", "nosuch/data.bin"},
  };
  for (const bool read : {true, false}) {
    for (const auto& c : cases) {
      const std::string what = std::string(read ? "read, " : "write, ") + c.what;
      TempFolder folder;
      fs::create_directory(folder.path() / "folder");
      Simulator sim(folder.path(), {});
      std::vector<std::string> args = {std::to_string(launcher.slot()), c.name};
      if (read) {
        args.push_back("read");
      }
      const Finished run = launcher.Run(args, sim.device(), folder.path());
      EXPECT_EQ(sim.Stop(), 0) << what;
      ASSERT_FALSE(run.timedOut) << what;
      EXPECT_EQ(run.out, read ? CantCreate(c.name) : CantOpen(c.name)) << what;
      EXPECT_EQ(run.status, 255) << what;
      EXPECT_EQ(sim.Log(), std::vector<std::string>{"SF"}) << what << ": the unit was touched";
      EXPECT_EQ(ReadBytes(sim.savedRegion()), Pattern()) << what;
    }
  }
}

TEST(EndToEndDataFile, NonAsciiNameWorksNatively) {
  const Launcher launcher = Launcher::FromEnvironment();
  if (launcher.wine()) {
    GTEST_SKIP() << "under Wine the console code page decides how a UTF-8 name is read";
  }
  TempFolder folder;
  Simulator sim(folder.path(), {});
  const std::string name = "d\xC3\xA4t\xC3\xA4-\xE2\x82\xAC.bin";
  const Finished run =
      launcher.Run({std::to_string(launcher.slot()), name, "read"}, sim.device(), folder.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kProgress + kPrompt);
  EXPECT_EQ(ReadBytes(folder.path() / name), Pattern());
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(EndToEndPort, SecondRunOnABusyPortFailsAndTheFirstCompletes) {
  const Launcher launcher = Launcher::FromEnvironment();
  if (launcher.wine()) {
    GTEST_SKIP() << "Wine does not enforce exclusive opens of a COM port";
  }
  TempFolder folder;
  Simulator sim(folder.path(), {});
  const std::string slot = std::to_string(launcher.slot());
  Finished first;
  std::thread firstRun([&] {
    first = launcher.Run({slot, "first.bin", "read"}, sim.device(), folder.path());
  });
  // Wait until the first run is transferring, then try the same port.
  sim.AwaitRequests("RC", 1, std::chrono::seconds(10));
  const Finished second = launcher.Run({slot, "second.bin", "read"}, sim.device(), folder.path());
  firstRun.join();
  EXPECT_EQ(MaskErrors(second.out), PortFailed("\\\\.\\COM7", "N"));
  EXPECT_EQ(second.status, 255);
  EXPECT_FALSE(fs::exists(folder.path() / "second.bin"));
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, kProgress + kPrompt);
  EXPECT_EQ(ReadBytes(folder.path() / "first.bin"), Pattern());
  EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace

namespace {

// The scenarios trust unitsim's exit status to catch faulty requests; it must have teeth.
TEST(EndToEndSimulator, FaultyRequestMakesItsExitStatusNonZero) {
  TempFolder folder;
  Simulator sim(folder.path(), {});
  const int fd = open(sim.device().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  // A read request for word address 60, which no segment starts at.
  std::uint8_t request[10];
  BuildReadRequest(request, 60, 240);
  ASSERT_EQ(write(fd, request, sizeof request), 10);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (Faults(sim.Log()).empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  close(fd);
  EXPECT_EQ(sim.Stop(), 1);
  ASSERT_EQ(Faults(sim.Log()).size(), 1u);
  EXPECT_NE(Faults(sim.Log())[0].find("outside the segment plan"), std::string::npos);
}

}  // namespace

namespace {

// Waits until the unit has `count` read requests, then sends `signal` to the tool.
std::function<void(pid_t)> SignalAtRequest(const Simulator& sim, std::size_t count, int signal) {
  return [&sim, count, signal](pid_t pid) {
    sim.AwaitRequests("RC", count, std::chrono::seconds(30));
    kill(pid, signal);
  };
}

// Interrupted in the middle of a read, the run ends by the signal, as any program would (Wine
// ends it with Ctrl-C's status 0xC000013A, whose low byte is 58), and the data file is as it
// was, with nothing left beside it. Wine dies outright on SIGTERM, so its row is SIGINT alone.
TEST(EndToEndInterrupt, ASignalMidReadEndsTheRunByItAndLeavesTheFile) {
  const Launcher launcher = Launcher::FromEnvironment();
  std::vector<int> signals = {SIGINT};
  if (!launcher.wine()) {
    signals.insert(signals.end(), {SIGTERM, SIGHUP});
  }
  for (const int signal : signals) {
    TempFolder folder;
    WriteBytes(folder.path() / "data.bin", kOldBytes);
    Simulator sim(folder.path(), {});
    const Finished run =
        launcher.Run({std::to_string(launcher.slot()), "data.bin", "read"}, sim.device(),
                     folder.path(), {.whileRunning = SignalAtRequest(sim, 10, signal)});
    ASSERT_FALSE(run.timedOut) << strsignal(signal);
    EXPECT_EQ(run.status, launcher.wine() ? 58 : -signal) << strsignal(signal);
    EXPECT_EQ(ReadBytes(folder.path() / "data.bin"), kOldBytes) << strsignal(signal);
    ExpectNoOtherFiles(folder.path(), std::string(strsignal(signal)) + ": ");
  }
}

TEST(EndToEndInterrupt, AReaderOfTheOutputThatWentAwayDoesNotCutTheReadShort) {
  const Launcher launcher = Launcher::FromEnvironment();
  if (launcher.wine()) {
    GTEST_SKIP() << "a broken pipe is a POSIX signal; Wine's console output does not raise it";
  }
  TempFolder folder;
  Simulator sim(folder.path(), {});
  // `true` has gone long before the first progress line, 20 segments in.
  const Finished run =
      RunChild({"bash", "-c", "\"$0\" 7 data.bin read </dev/null | true; echo \"${PIPESTATUS[0]}\"",
                launcher.program()},
               {"COM7=" + sim.device()}, folder.path(), folder.path() / "tool.err",
               std::chrono::seconds(60));
  EXPECT_EQ(run.out, "0\n");
  EXPECT_EQ(ReadBytes(folder.path() / "data.bin"), Pattern());
  EXPECT_EQ(sim.Stop(), 0);
}

// A read must not replace a file its user could not have written. Natively the tool runs as
// an unprivileged user (root may write anything); under Wine the file is read-only.
TEST(EndToEndDataFile, TargetsTheUserMayNotWriteAreRefusedBeforeTheUnitIsRead) {
  const Launcher launcher = Launcher::FromEnvironment();
  const struct {
    const char* what;
    uid_t owner;
    mode_t mode;
  } cases[] = {
      {"a read-only file of the user's own", 65534, 0444},
      {"a file of another user, in a folder the user may write", 0, 0644},
  };
  for (const auto& c : cases) {
    if (launcher.wine() && c.owner == 0) {
      continue;  // Wine runs as root here: only the read-only attribute applies
    }
    TempFolder folder;
    const fs::path data = folder.path() / "data.bin";
    WriteBytes(data, kOldBytes);
    Simulator sim(folder.path(), {});
    RunExtras extras;
    if (!launcher.wine()) {
      ASSERT_EQ(geteuid(), 0u) << "this test makes files of other users: run it as root";
      // Walls in the unprivileged user's way: the 0700 temporary folder, the pty's 0620 mode
      // and a build folder it may not reach.
      fs::permissions(folder.path(), fs::perms::all);
      ASSERT_EQ(chmod(sim.device().c_str(), 0666), 0);
      fs::copy_file(launcher.program(), folder.path() / "verlrock");
      extras.program = (folder.path() / "verlrock").string();
      extras.wrapper = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
      ASSERT_EQ(chown(data.c_str(), c.owner, c.owner), 0);
    }
    ASSERT_EQ(chmod(data.c_str(), c.mode), 0);
    const Finished run = launcher.Run({std::to_string(launcher.slot()), "data.bin", "read"},
                                      sim.device(), folder.path(), extras);
    EXPECT_EQ(sim.Stop(), 0) << c.what;
    EXPECT_EQ(run.out, CantCreate("data.bin")) << c.what;
    EXPECT_EQ(run.status, 255) << c.what;
    EXPECT_EQ(sim.Log(), std::vector<std::string>{"SF"}) << c.what << ": the unit was read";
    EXPECT_EQ(ReadBytes(data), kOldBytes) << c.what;
  }
}

// Names Windows keeps for devices or refuses outright are refused by name before the unit is
// read, never opened to find out (COM1 is a real port). On Linux they are ordinary names.
TEST(EndToEndDataFile, NamesWindowsRefusesAreRefusedBeforeTheUnitIsRead) {
  const Launcher launcher = Launcher::FromEnvironment();
  if (!launcher.wine()) {
    GTEST_SKIP() << "these are valid names on Linux";
  }
  for (const std::string& name :
       {std::string("NUL"), std::string("con.bin"), std::string("AUX"), std::string("COM1"),
        std::string("lpt9.txt"), std::string("a<b.bin"), std::string("a|b"), std::string("a?b"),
        std::string("a*b"), std::string("a\"b"), std::string("dir\\a:b"),
        std::string("a\x01"
                    "b"),
        std::string(256, 'n')}) {
    TempFolder folder;
    fs::create_directory(folder.path() / "dir");
    Simulator sim(folder.path(), {});
    const Finished run =
        launcher.Run({std::to_string(launcher.slot()), name, "read"}, sim.device(), folder.path());
    EXPECT_EQ(sim.Stop(), 0) << name;
    ASSERT_FALSE(run.timedOut) << name;
    EXPECT_EQ(run.out, CantCreate(name)) << name;
    EXPECT_EQ(run.status, 255) << name;
    EXPECT_EQ(sim.Log(), std::vector<std::string>{"SF"}) << name << ": the unit was read";
  }
}

}  // namespace

namespace {

// Options that ask a question or are refused end the run before the port is opened: the unit
// hears nothing and no file appears.
TEST(EndToEndOptions, QueriesAndRefusalsNeverReachTheUnit) {
  const Launcher launcher = Launcher::FromEnvironment();
  const std::string slot = std::to_string(launcher.slot());
  const struct {
    std::vector<std::string> args;
    std::string out;  // "": judged below
    int status;
  } cases[] = {
      {{"--version"}, kVersionLine, 0},
      {{"--help"}, "", 0},
      {{"--list"}, "", 0},
      {{"--bogus", slot, "data.bin", "read"}, UnknownOption("--bogus"), 255},
      {{slot, "data.bin", "--verify"}, kMisplaced, 255},
      {{slot, "--verify", "read"}, kMisplaced, 255},
      {{"--trace"}, kTraceNeedsName, 255},
      {{"--list", slot}, StandsAlone("--list"), 255},
      {{"--verify", "--version"}, StandsAlone("--version"), 255},
      {{"--trace", slot, "data.bin", "read"}, kInvalidPort, 255},
  };
  TempFolder folder;
  Simulator sim(folder.path(), {});
  for (const auto& c : cases) {
    const std::string what = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
    const Finished run = launcher.Run(c.args, sim.device(), folder.path());
    ASSERT_FALSE(run.timedOut) << what;
    EXPECT_EQ(run.status, c.status) << what;
    if (!c.out.empty()) {
      EXPECT_EQ(run.out, c.out) << what;
    } else if (c.args[0] == "--help") {
      EXPECT_EQ(run.out.rfind("Usage:  verlrock [options]", 0), 0u) << run.out;
    } else if (launcher.wine()) {
      // Wine lists the ports it maps, the tests' own among them.
      EXPECT_NE(run.out.find("COM7  \\\\.\\COM7  \\Device\\Serial"), std::string::npos) << run.out;
    } else {
      const std::regex line("(/dev/\\S+  (COM[0-9]+ by default|COMn=/dev/\\S+)  [^\r\n]+\r\n)*");
      EXPECT_TRUE(run.out == kNoPorts || std::regex_match(run.out, line)) << run.out;
    }
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_TRUE(sim.Log().empty()) << "the unit heard " << sim.Log()[0];
  ExpectNoOtherFiles(folder.path(), "");
}

// The trace of a full read holds the 52 requests, each followed by reads that bring exactly
// the unit's response to it, however the line split it.
TEST(EndToEndTrace, HoldsEveryRequestAndTheResponseToIt) {
  const Launcher launcher = Launcher::FromEnvironment();
  TempFolder folder;
  Simulator sim(folder.path(), {});
  const Finished run =
      launcher.Run({"--trace", "trace.txt", std::to_string(launcher.slot()), "data.bin", "read"},
                   sim.device(), folder.path());
  EXPECT_EQ(sim.Stop(), 0);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.out, kProgress + kPrompt);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadBytes(folder.path() / "data.bin"), Pattern());

  const std::vector<std::string> lines = TraceLines(folder.path() / "trace.txt");
  ASSERT_FALSE(lines.empty());
  std::vector<std::pair<Bytes, Bytes>> exchanges;  // a write and what the reads after it got
  EXPECT_EQ(Words(lines[0]).at(1), "open");
  EXPECT_EQ(Words(lines[0]).at(3), "\\\\.\\COM" + std::to_string(launcher.slot()));
  for (std::size_t at = 1; at < lines.size(); ++at) {
    const std::string& line = lines[at];
    const std::vector<std::string> words = Words(line);
    ASSERT_GE(words.size(), 3u) << line;
    EXPECT_TRUE(std::regex_match(words[0], std::regex("[0-9]+\\.[0-9]{3}"))) << line;
    const Bytes bytes = HexBytes(words, 3);
    ASSERT_EQ(bytes.size(), std::stoul(words[2])) << line;
    if (words[1] == "write") {
      exchanges.push_back({bytes, {}});
    } else if (words[1] == "read") {
      ASSERT_FALSE(exchanges.empty()) << line;
      exchanges.back().second.insert(exchanges.back().second.end(), bytes.begin(), bytes.end());
    } else {
      EXPECT_EQ(words[1], "purge") << line;
    }
  }
  ASSERT_EQ(exchanges.size(), 53u);
  EXPECT_EQ(exchanges[0].first, Bytes(Quiet, Quiet + sizeof Quiet));
  const Bytes pattern = Pattern();
  for (std::int32_t segment = 0; segment < 52; ++segment) {
    const std::int32_t length = segment < 51 ? 240 : 48;
    std::uint8_t request[kPacketBytes];
    BuildReadRequest(request, segment * 120, length);
    const auto& [sent, got] = exchanges[static_cast<std::size_t>(segment) + 1];
    EXPECT_EQ(sent, Bytes(request, request + kPacketBytes)) << "segment " << segment;
    Bytes payload(request + 5, request + 8);
    payload.insert(payload.end(), pattern.begin() + segment * 240,
                   pattern.begin() + segment * 240 + length);
    EXPECT_EQ(got, MakeFrame("RC", payload)) << "segment " << segment;
  }
}

}  // namespace

namespace {

// A trace file that would be the data file is refused before the port is opened, by each
// platform's own test of identity (an inode natively, a file index under Wine).
TEST(EndToEndTrace, TheDataFileIsNeverTakenForTheTrace) {
  const Launcher launcher = Launcher::FromEnvironment();
  const std::string slot = std::to_string(launcher.slot());
  const Bytes image = Image(12288);
  TempFolder folder;
  Simulator sim(folder.path(), {});
  for (const bool read : {true, false}) {
    WriteBytes(folder.path() / "data.bin", image);
    std::vector<std::string> args = {"--trace", "./data.bin", slot, "data.bin"};
    if (read) {
      args.push_back("read");
    }
    const Finished run = launcher.Run(args, sim.device(), folder.path());
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.out, CantCreateTrace("./data.bin")) << (read ? "read" : "write");
    EXPECT_EQ(run.status, 255) << (read ? "read" : "write");
    EXPECT_EQ(ReadBytes(folder.path() / "data.bin"), image) << (read ? "read" : "write");
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_TRUE(sim.Log().empty()) << "the unit heard " << sim.Log()[0];
}

}  // namespace
