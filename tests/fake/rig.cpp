#include "tests/fake/rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "sim/line_facts.h"
#include "tool/run.h"

FaultPlan Plan(std::initializer_list<const char*> rules) {
  FaultPlan plan;
  for (const char* text : rules) {
    FaultRule rule;
    std::string error;
    EXPECT_TRUE(ParseFaultRule(text, rule, error)) << error;
    plan.rules.push_back(rule);
  }
  return plan;
}

bool FollowsSegmentPlan(const std::vector<RequestRecord>& requests) {
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const std::int32_t index = static_cast<std::int32_t>(i);
    if (index >= kPlanSegments || requests[i].wordAddress != PlannedSegmentAt(index).wordAddress ||
        requests[i].words != PlannedSegmentAt(index).words) {
      return false;
    }
  }
  return true;
}

bool AsksForAllTheRoomLeft(const FakeLine& line) {
  for (const FakeLine::Exchange& exchange : line.exchanges) {
    std::uint32_t room = 1000;
    for (const FakeLine::ReadCall& read : exchange.reads) {
      if (read.capacity != room) {
        return false;
      }
      room -= read.got;
    }
  }
  return true;
}

Rig::Rig(const FaultPlan& plan, const Region& region) : unit(region, plan) {
  ResetLine(&unit);
  previous_ = std::filesystem::current_path();
  std::filesystem::current_path(folder_.path());
}

Rig::~Rig() {
  std::filesystem::current_path(previous_);
}

int Rig::Run(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"verlrock"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  try {
    return RunTool(static_cast<int>(words.size()), argv.data());
  } catch (const RunawayRun& runaway) {
    ADD_FAILURE() << runaway.what();
    return kRunaway;
  }
}

std::vector<RequestRecord> Rig::Requests(const std::string& type) const {
  std::vector<RequestRecord> found;
  std::copy_if(unit.requests().begin(), unit.requests().end(), std::back_inserter(found),
               [&](const RequestRecord& r) { return r.type == type; });
  return found;
}

std::string Rig::Path(const std::string& name) const {
  return (folder_.path() / name).string();
}

void Rig::WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  WriteBytes(folder_.path() / name, bytes);
}

std::vector<std::uint8_t> Rig::ReadFile(const std::string& name) const {
  return ReadBytes(folder_.path() / name);
}

std::vector<std::string> Rig::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> AsBytes(const Region& region) {
  return std::vector<std::uint8_t>(region.begin(), region.end());
}
