// The in-process rig: a simulated unit on the fake line, a temporary folder, and the tool run
// in-process.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/unit.h"
#include "tests/fake/fake_line.h"
#include "tests/support/temp_folder.h"

FaultPlan Plan(std::initializer_list<const char*> rules);

// A row of a direction's fault table.
struct FaultCase {
  const char* what;
  FaultPlan plan;
  std::string console;  // before the prompt
  int status;
  std::size_t requests;  // read or write requests the unit received
};

// True when request i is segment i of the plan, for every request.
bool FollowsSegmentPlan(const std::vector<RequestRecord>& requests);

// True when every read of the run asked for all the room left in the tool's 1000-byte
// receive buffer: 1000 for the first read after a write, then less by what each read brought.
bool AsksForAllTheRoomLeft(const FakeLine& line);

class Rig {
 public:
  explicit Rig(const FaultPlan& plan = {}, const Region& region = PatternRegion());
  ~Rig();
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  // Runs the tool with these arguments (the program name is added) and returns its status.
  // A run that goes on past the line's virtual-time limit fails the test and returns kRunaway.
  int Run(const std::vector<std::string>& args);
  static constexpr int kRunaway = -1000;

  // Requests of one type ("SF", "RC", "WC") the unit received, in order.
  std::vector<RequestRecord> Requests(const std::string& type) const;

  // Files in the temporary folder, which is the folder the tool runs in.
  std::string Path(const std::string& name) const;
  void WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  std::vector<std::uint8_t> ReadFile(const std::string& name) const;
  std::vector<std::string> Names() const;

  Unit unit;
  FakeLine& line = Line();

 private:
  TempFolder folder_;
  std::filesystem::path previous_;
};

std::vector<std::uint8_t> AsBytes(const Region& region);
