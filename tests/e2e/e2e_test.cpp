// The real program against unitsim, run by one launcher (native or Wine, from E2E_LAUNCHER).
// Every scenario gives the same standard output under both, except where a row says.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "sim/unit.h"
#include "tests/e2e/harness.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kPrompt = "Press ENTER to continue\r\n";
const std::string kProgress = "7728 bytes remain\r2928 bytes remain\r";
const std::string kCrc = "Input data CRC error\r\n";
const std::string kTimeout = "Unit response timeout\r\n";
const std::string kFailed = "Transfer failed; data.bin was not changed\r\n";
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

std::size_t Count(const std::vector<std::string>& log, const std::string& type) {
  std::size_t count = 0;
  for (const std::string& line : log) {
    count += line.rfind(type + " ", 0) == 0 ? 1 : 0;
  }
  return count;
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
enum class UnitAfter { kPattern, kImage };

struct Scenario {
  const char* name;
  bool read;
  std::vector<std::string> simOptions;
  Before before;
  std::string out;  // standard output before the prompt
  int status;       // 255 is the -1 that ends a run before the prompt
  After after;
  UnitAfter unitAfter;
  long requests;          // read or write requests the unit received; -1: not checked
  std::string wineOut{};  // where Wine differs
};

const Scenario kScenarios[] = {
    {"ReadWhole", true, {}, Before::kOld, kProgress, 0, After::kPattern, UnitAfter::kPattern, 52},
    {"ReadAfterLateQuietAnswer",
     true,
     {"--quiet-from", "3", "--noise-at-start", "5"},
     Before::kNone,
     kProgress,
     0,
     After::kPattern,
     UnitAfter::kPattern,
     52},
    {"ReadResponsesInParts",
     true,
     {"--fault", "split@3:150", "--fault", "bytewise@5:1"},
     Before::kNone,
     kProgress,
     0,
     After::kPattern,
     UnitAfter::kPattern,
     52},
    {"ReadCrcErrorOnceIsRetried",
     true,
     {"--fault", "badcrc@3"},
     Before::kOld,
     kCrc + kProgress,
     0,
     After::kPattern,
     UnitAfter::kPattern,
     53},
    {"ReadTrailingBytesAreRetried",
     true,
     {"--fault", "extra@3:2"},
     Before::kOld,
     kCrc + kProgress,
     0,
     After::kPattern,
     UnitAfter::kPattern,
     53},
    {"ReadCrcErrorOnEveryTry",
     true,
     {"--fault", "badcrc@3+"},
     Before::kOld,
     kCrc + kCrc + kCrc + kFailed,
     1,
     After::kOld,
     UnitAfter::kPattern,
     5},
    {"ReadUnitFallsSilent",
     true,
     {"--fault", "drop@11+"},
     Before::kOld,
     kTimeout + kFailed,
     1,
     After::kOld,
     UnitAfter::kPattern,
     11},
    // Wine reports a hung-up pseudo-terminal as empty reads, so the wait runs out instead.
    {"ReadHangUp",
     true,
     {"--fault", "hangup@20"},
     Before::kNone,
     "COM Port read error\r\n" + kFailed,
     1,
     After::kAbsent,
     UnitAfter::kPattern,
     20,
     kTimeout + kFailed},
    {"ReadNoAnswerFromUnit",
     true,
     {"--quiet-from", "1000000"},
     Before::kOld,
     "No answer from unit\r\n",
     1,
     After::kOld,
     UnitAfter::kPattern,
     0},
    {"ReadIntoAFolder",
     true,
     {},
     Before::kFolder,
     "Can't create data file data.bin\r\n",
     255,
     After::kNoMatter,
     UnitAfter::kPattern,
     0},
    {"WriteWhole",
     false,
     {},
     Before::kImage,
     kProgress,
     0,
     After::kNoMatter,
     UnitAfter::kImage,
     52},
    {"WriteLongerFileSendsItsStart",
     false,
     {},
     Before::kLongImage,
     kProgress,
     0,
     After::kNoMatter,
     UnitAfter::kImage,
     52},
    {"WriteAckInParts",
     false,
     {"--fault", "split@3:15"},
     Before::kImage,
     kProgress,
     0,
     After::kNoMatter,
     UnitAfter::kImage,
     52},
    {"WriteAckWithWrongCrc",
     false,
     {"--fault", "badcrc@5"},
     Before::kImage,
     kCrc + "7488 bytes remain\r2688 bytes remain\r",
     1,
     After::kNoMatter,
     UnitAfter::kImage,
     52},
    {"WriteUnitStopsAnswering",
     false,
     {"--fault", "drop@10+"},
     Before::kImage,
     kTimeout,
     1,
     After::kNoMatter,
     UnitAfter::kPattern,
     10},
    {"WriteAckWithAByteTooMany",
     false,
     {"--fault", "extra@5"},
     Before::kImage,
     kTimeout,
     1,
     After::kNoMatter,
     UnitAfter::kPattern,
     5},
    {"WriteShortFileSendsNothing",
     false,
     {},
     Before::kShort,
     "Data file data.bin holds fewer than 12288 bytes\r\n",
     255,
     After::kNoMatter,
     UnitAfter::kPattern,
     0},
    {"WriteMissingFileSendsNothing",
     false,
     {},
     Before::kNone,
     "Can't open data file data.bin\r\n",
     255,
     After::kNoMatter,
     UnitAfter::kPattern,
     0},
};

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
  Simulator sim(folder.path(), s.simOptions);
  std::vector<std::string> args = {std::to_string(launcher.slot()), "data.bin"};
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
    EXPECT_EQ(Count(log, s.read ? "RC" : "WC"), static_cast<std::size_t>(s.requests));
    EXPECT_EQ(Count(log, s.read ? "WC" : "RC"), 0u);
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
  if (s.unitAfter == UnitAfter::kImage) {
    EXPECT_EQ(ReadBytes(sim.savedRegion()), Bytes(image.begin(), image.begin() + 12288));
  } else if (s.requests != 10 && s.requests != 5) {
    // A write cut short leaves what it sent; every other row leaves the unit as it was.
    EXPECT_EQ(ReadBytes(sim.savedRegion()), Pattern());
  }
  // Nothing but the files the test made is left beside the data file.
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "data.bin" || name.rfind("unit", 0) == 0 || name == "tool.err") << name;
  }
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
  const std::string usage =
      "Too few args passed to utility\n"
      "Usage:  Verlrock.exe <Com Port #> <output file name> [start offset (optional)] "
      "[segment length(optional)]\r\n"
      "Example Verrock.exe 1 outfile.bin 0 4096\r\n";
  const std::string invalid = "Com port number is invalid\n";
  const struct {
    std::vector<std::string> args;
    std::string out;
    bool pause;
  } cases[] = {
      {{}, usage, false},
      {{"3"}, usage, false},
      {{"0", "f.bin"}, invalid, true},
      {{"256", "f.bin"}, invalid, true},
      {{"1000", "f.bin"}, invalid, true},
      {{"COM3", "f.bin"}, invalid, true},
      {{"X1", "f.bin", "read"}, invalid, true},
      {{"42", "f.bin", "read"},
       "Can't open COM Port \\\\.\\COM42 - Error: N\nCouldn't open serial port \\\\.\\COM42\n",
       true},
      {{"-5", "f.bin"},
       "Can't open COM Port \\\\.\\COM-5 - Error: N\nCouldn't open serial port \\\\.\\COM-5\n",
       true},
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
