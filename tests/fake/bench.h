// A simulated unit on the fake line, a temporary folder, and the tool run in-process.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/unit.h"
#include "tests/fake/fake_line.h"

FaultPlan Plan(std::initializer_list<const char*> rules);

// A row of a direction's fault table.
struct FaultCase {
  const char* what;
  FaultPlan plan;
  std::string console;  // before the prompt
  int status;
  std::size_t requests;  // read or write requests the unit received
};

// True when request i is segment i of the plan: word address i * 120, 120 words (24 for the
// last).
bool FollowsSegmentPlan(const std::vector<RequestRecord>& requests);

class Bench {
 public:
  explicit Bench(const FaultPlan& plan = {}, const Region& region = PatternRegion());
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // Runs the tool with these arguments (the program name is added) and returns its status.
  int Run(const std::vector<std::string>& args);

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
  std::filesystem::path folder_;
  std::filesystem::path previous_;
};

std::vector<std::uint8_t> AsBytes(const Region& region);
