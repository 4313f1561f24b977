// The long options in-process: where they may stand, what they print, and the trace.
#include <gtest/gtest.h>

#include <map>

#include "link/packet.h"
#include "tests/fake/rig.h"
#include "tests/messages.h"
#include "tests/support/trace_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// None of these may reach the unit, create a file, pause or prompt.
TEST(Options, RefusedAndQueryCommandLinesNeverTouchTheLine) {
  const struct {
    std::vector<std::string> args;
    std::string console;
    int status;
  } cases[] = {
      {{"--version"}, kVersionLine, 0},
      {{"--bogus", "3", "f.bin", "read"}, UnknownOption("--bogus"), -1},
      {{"--", "3", "f.bin"}, UnknownOption("--"), -1},
      {{"--verify", "--Verify", "3", "f.bin"}, UnknownOption("--Verify"), -1},
      {{"--trace"}, kTraceNeedsName, -1},
      {{"--trace", "", "3", "f.bin"}, kTraceNeedsName, -1},
      {{"--trace", "--verify", "3", "f.bin", "read"}, kTraceNeedsName, -1},
      // After the port number an option would be a file name or a mode word.
      {{"3", "f.bin", "--verify"}, kMisplaced, -1},
      {{"3", "--verify", "read"}, kMisplaced, -1},
      {{"--verify", "3", "f.bin", "read", "--trace"}, kMisplaced, -1},
      {{"3", "--trace", "t.txt"}, kMisplaced, -1},
      {{"--list", "3"}, StandsAlone("--list"), -1},
      {{"--verify", "--version"}, StandsAlone("--version"), -1},
      {{"--help", "--list"}, StandsAlone("--help"), -1},
      {{"--trace", "t.txt", "--list"}, StandsAlone("--list"), -1},
      // Options leave the rest of the command line as it was.
      {{"--verify"}, kUsage, -1},
      {{"--verify", "3"}, kUsage, -1},
      {{"--trace", "t.txt", "3"}, kUsage, -1},
  };
  for (const auto& c : cases) {
    Rig rig;
    const std::string what = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
    EXPECT_EQ(rig.Run(c.args), c.status) << what;
    EXPECT_EQ(rig.line.console, c.console) << what;
    EXPECT_EQ(rig.line.calls, "") << what;
    EXPECT_EQ(rig.line.openedPath, "") << what;
    EXPECT_EQ(rig.line.sleptMs, 0u) << what;
    EXPECT_EQ(rig.line.prompts, 0) << what;
    EXPECT_TRUE(rig.Names().empty()) << what;
  }
}

TEST(Options, EveryArgumentIsCheckedBeforeTheTraceIsCreated) {
  Rig rig;
  EXPECT_EQ(rig.Run({"--trace", "3", "dump.bin", "read"}), -1);
  EXPECT_EQ(rig.line.console, kInvalidPort);
  EXPECT_EQ(rig.line.calls, "");
  EXPECT_TRUE(rig.Names().empty()) << "the trace file 3 was created";
}

TEST(Options, HelpNamesEveryOption) {
  Rig rig;
  EXPECT_EQ(rig.Run({"--help"}), 0);
  EXPECT_EQ(rig.line.console.rfind("Usage:  verlrock [options] <Com Port #> <file> [read]\r\n", 0),
            0u);
  for (const char* option : {"--verify", "--trace FILE", "--list", "--version", "--help"}) {
    EXPECT_NE(rig.line.console.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(rig.line.prompts, 0);
  EXPECT_EQ(rig.line.calls, "");
}

// The trace holds every call the line saw, in order, with its bytes and its virtual time, and
// the run is the same as without it.
TEST(Trace, RecordsEveryOperationOfAFullReadAndChangesNothing) {
  Rig plain;
  ASSERT_EQ(plain.Run({"3", "dump.bin", "read"}), 0);
  const FakeLine untraced = plain.line;

  Rig rig;
  ASSERT_EQ(rig.Run({"--trace", "trace.txt", "3", "dump.bin", "read"}), 0);
  EXPECT_EQ(rig.line.console, untraced.console);
  EXPECT_EQ(rig.line.calls, untraced.calls);
  EXPECT_EQ(rig.line.nowUs, untraced.nowUs);
  EXPECT_EQ(rig.ReadFile("dump.bin"), AsBytes(PatternRegion()));

  const std::vector<std::string> lines = TraceLines(rig.Path("trace.txt"));
  ASSERT_EQ(lines.size(), rig.line.calls.size());
  EXPECT_EQ(lines[0], "0.000 open 8 \\\\.\\COM3");
  const std::map<std::string, char> codes = {
      {"open", 'O'}, {"purge", 'P'}, {"write", 'W'}, {"read", 'R'}};
  std::string calls;
  std::vector<FakeLine::Exchange> exchanges;
  double lastMs = 0;
  for (const std::string& line : lines) {
    const std::vector<std::string> words = Words(line);
    ASSERT_GE(words.size(), 3u) << line;
    const double ms = std::stod(words[0]);
    EXPECT_GE(ms, lastMs) << line;
    EXPECT_EQ(words[0].size() - words[0].find('.'), 4u) << line << ": three decimals";
    lastMs = ms;
    const Bytes bytes = words[1] == "open" ? Bytes{} : HexBytes(words, 3);
    if (words[1] != "open") {
      EXPECT_EQ(bytes.size(), std::stoul(words[2])) << line;
    }
    ASSERT_TRUE(codes.count(words[1])) << line;
    calls += codes.at(words[1]);
    if (words[1] == "write") {
      exchanges.push_back({bytes, {}, {}});
    } else if (words[1] == "read" && !exchanges.empty()) {
      exchanges.back().delivered.insert(exchanges.back().delivered.end(), bytes.begin(),
                                        bytes.end());
    }
  }
  EXPECT_EQ(calls, rig.line.calls);
  EXPECT_LE(lastMs * 1000, static_cast<double>(rig.line.nowUs));
  ASSERT_EQ(exchanges.size(), rig.line.exchanges.size());
  std::size_t requests = 0;
  for (std::size_t i = 0; i < exchanges.size(); ++i) {
    EXPECT_EQ(exchanges[i].sent, rig.line.exchanges[i].sent) << "write " << i;
    EXPECT_EQ(exchanges[i].delivered, rig.line.exchanges[i].delivered) << "write " << i;
    if (exchanges[i].sent.size() == kPacketBytes && exchanges[i].sent[2] == 'R') {
      ++requests;
      EXPECT_EQ(exchanges[i].delivered.size(), 240u + kPacketBytes - (i == 52 ? 192 : 0));
    }
  }
  EXPECT_EQ(requests, 52u);
}

TEST(Trace, FailuresAreRecordedAsSuch) {
  const struct {
    const char* what;
    bool openFails;
    int writesFailFrom;
    const char* last;  // the last line's operation and count
  } cases[] = {
      {"a port that will not open", true, 0, "open-failed 8"},
      {"a write the line does not take", false, 1, "discard 0"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.line.openFails = c.openFails;
    rig.line.writesFailFrom = c.writesFailFrom;
    rig.Run({"--trace", "trace.txt", "3", "dump.bin", "read"});
    const std::vector<std::string> lines = TraceLines(rig.Path("trace.txt"));
    ASSERT_FALSE(lines.empty()) << c.what;
    const std::vector<std::string> words = Words(lines.back());
    EXPECT_EQ(words[1] + " " + words[2], c.last) << c.what;
    if (c.writesFailFrom != 0) {
      EXPECT_EQ(Words(lines[lines.size() - 2])[1], "write-failed") << c.what;
      EXPECT_EQ(HexBytes(Words(lines[lines.size() - 2]), 3), Bytes(Quiet, Quiet + sizeof Quiet));
    }
  }
}

TEST(Trace, AFileThatCannotBeCreatedEndsTheRunBeforeThePort) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string trace;
  } cases[] = {
      {"a missing folder", {"3", "dump.bin", "read"}, "no/such/folder/t.txt"},
      {"a folder", {"3", "dump.bin", "read"}, "."},
      {"the data file of a write", {"3", "image.bin"}, "image.bin"},
      {"the data file of a read", {"3", "image.bin", "read"}, "image.bin"},
      {"the data file by another name", {"3", "./image.bin", "read"}, "image.bin"},
  };
  for (const auto& c : cases) {
    Rig rig;
    const Bytes image(kUnitRegionBytes, 0x42);
    rig.WriteFile("image.bin", image);
    std::vector<std::string> args = {"--trace", c.trace};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(rig.Run(args), -1) << c.what;
    EXPECT_EQ(rig.line.console, CantCreateTrace(c.trace)) << c.what;
    EXPECT_EQ(rig.line.calls, "") << c.what;
    EXPECT_EQ(rig.ReadFile("image.bin"), image) << c.what << ": the data file was harmed";
  }
}

}  // namespace
