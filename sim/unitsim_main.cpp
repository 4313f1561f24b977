// unitsim (installed as verlrock-unitsim): plays the unit on a pseudo-terminal, for the tests
// and for anyone without one.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/fault_plan.h"
#include "sim/pty_line.h"
#include "sim/unit.h"

namespace {

volatile int stopRequested = 0;

void OnSignal(int) {
  stopRequested = 1;
}

const char kUsage[] =
    "usage: verlrock-unitsim [options]\n"
    "  --com N                 COM number to print in the COMn=device line (default 7)\n"
    "  --region FILE           load the region from FILE (12288 bytes); default: a pattern\n"
    "  --save FILE             save the region to FILE when ending\n"
    "  --transcript FILE       hex transcript of the line\n"
    "  --log FILE              one line per frame received, and the tool's faults\n"
    "  --no-pacing             send and take bytes as fast as the pseudo-terminal goes\n"
    "  --idle-limit MS         end after MS without a byte from a tool (default 120000)\n"
    "  --fault KIND@N[+|-M][:P]  badcrc flipdata split bytewise drop extra prefix delay\n"
    "                          truncate hangup garble nostore stale, on request N (of reads\n"
    "                          and writes, counted from 1 over the simulator's life)\n"
    "  --quiet-from K          ignore Quiet before attempt K\n"
    "  --noise-before-answer K noise in front of the first K answers to Quiet\n"
    "  --noise-at-start N      N bytes of noise when a tool opens the line\n"
    "  --extra-after-answer K  one byte too many behind the first K answers to Quiet\n"
    "  --hold-output N         hold the tool's output off, as CTS low would, once request N\n"
    "                          is in (0: from the start); unitsim then keeps the tool's side\n"
    "                          open, so it counts the line as open from its start\n"
    "Ends on SIGTERM or SIGINT; exits 0, or 1 when the tool sent a faulty request.\n";

bool LoadRegion(const char* path, Region& region) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    return false;
  }
  const std::size_t got = std::fread(region.data(), 1, region.size(), file);
  std::fclose(file);
  return got == region.size();
}

bool SaveRegion(const char* path, const Region& region) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    return false;
  }
  const bool ok = std::fwrite(region.data(), 1, region.size(), file) == region.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  int com = 7;
  Region region = PatternRegion();
  const char* savePath = nullptr;
  FaultPlan plan;
  LineOptions options;
  std::FILE* log = nullptr;
  std::FILE* transcript = nullptr;
  options.idleLimitMs = 120000;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    const bool takesValue = option != "--no-pacing" && option != "--help";
    if (takesValue && value == nullptr) {
      std::fprintf(stderr, "unitsim: %s needs a value\n%s", option.c_str(), kUsage);
      return 2;
    }
    if (takesValue) {
      ++i;
    }
    if (option == "--com") {
      com = std::atoi(value);
    } else if (option == "--region") {
      if (!LoadRegion(value, region)) {
        std::fprintf(stderr, "unitsim: cannot load 12288 bytes from %s\n", value);
        return 2;
      }
    } else if (option == "--save") {
      savePath = value;
    } else if (option == "--transcript" || option == "--log") {
      std::FILE* file = std::fopen(value, "w");
      if (file == nullptr) {
        std::fprintf(stderr, "unitsim: cannot write %s\n", value);
        return 2;
      }
      (option == "--log" ? log : transcript) = file;
    } else if (option == "--no-pacing") {
      options.pacing = false;
    } else if (option == "--idle-limit") {
      options.idleLimitMs = std::atoll(value);
    } else if (option == "--fault") {
      FaultRule rule;
      std::string error;
      if (!ParseFaultRule(value, rule, error)) {
        std::fprintf(stderr, "unitsim: %s\n", error.c_str());
        return 2;
      }
      plan.rules.push_back(rule);
    } else if (option == "--quiet-from") {
      plan.quietFrom = std::atoi(value);
    } else if (option == "--noise-before-answer") {
      plan.noiseBeforeAnswer = std::atoi(value);
    } else if (option == "--extra-after-answer") {
      plan.extraAfterAnswer = std::atoi(value);
    } else if (option == "--hold-output") {
      options.holdOutputFrom = std::atoi(value);
    } else if (option == "--noise-at-start") {
      plan.noiseAtStart = std::atoi(value);
    } else {
      std::fprintf(stderr, "%s", kUsage);
      return option == "--help" ? 0 : 2;
    }
  }

  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  PtyLine line;
  if (!line.ok()) {
    std::perror("unitsim: cannot open a pseudo-terminal");
    return 2;
  }
  std::printf("COM%d=%s\n", com, line.devicePath().c_str());
  std::fflush(stdout);

  Unit unit(region, plan);
  LineRecord record(log, transcript);
  line.Serve(unit, options, record, stopRequested);

  int status = 0;
  if (savePath != nullptr && !SaveRegion(savePath, unit.region())) {
    std::fprintf(stderr, "unitsim: cannot save the region to %s\n", savePath);
    status = 2;
  }
  for (const std::string& fault : unit.faults()) {
    std::fprintf(stderr, "unitsim: fault of the tool: %s\n", fault.c_str());
    status = status ? status : 1;
  }
  return status;
}
