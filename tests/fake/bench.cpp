#include "tests/fake/bench.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>

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
    if (i >= 52 || requests[i].wordAddress != static_cast<std::int32_t>(i) * 120 ||
        requests[i].words != (i < 51 ? 120 : 24)) {
      return false;
    }
  }
  return true;
}

Bench::Bench(const FaultPlan& plan, const Region& region) : unit(region, plan) {
  ResetLine(&unit);
  std::string pattern = (std::filesystem::temp_directory_path() / "verlrock-test-XXXXXX").string();
  folder_ = mkdtemp(pattern.data());
  previous_ = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
}

Bench::~Bench() {
  std::filesystem::current_path(previous_);
  std::filesystem::remove_all(folder_);
}

int Bench::Run(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"verlrock"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  return RunTool(static_cast<int>(words.size()), argv.data());
}

std::vector<RequestRecord> Bench::Requests(const std::string& type) const {
  std::vector<RequestRecord> found;
  std::copy_if(unit.requests().begin(), unit.requests().end(), std::back_inserter(found),
               [&](const RequestRecord& r) { return r.type == type; });
  return found;
}

std::string Bench::Path(const std::string& name) const {
  return (folder_ / name).string();
}

void Bench::WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  std::ofstream out(folder_ / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Bench::ReadFile(const std::string& name) const {
  std::ifstream in(folder_ / name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Bench::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> AsBytes(const Region& region) {
  return std::vector<std::uint8_t>(region.begin(), region.end());
}
