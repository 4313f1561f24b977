// Benchmark, not a test: full reads and writes against unitsim at line rate, compared with the
// floor that the tool's fixed sleeps and the line rate set.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "sim/line_facts.h"
#include "tests/e2e/harness.h"

namespace {

constexpr double kByteMs = kByteUs / 1000.0;
constexpr double kHandshakeMs = 11.0;  // one attempt: 10 ms sleep and the 1 ms read
constexpr double kStartMs = 10.0;      // the sleep before the first segment

// Every poll is its sleep plus the 1 ms read time-out.
double ReadFloorMs() {
  return kHandshakeMs + kStartMs + kPlanSegments * (100.0 + 1.0);
}

// Per segment, the 11 ms polls it takes to cover the request's and the acknowledgement's time
// on the line.
double WriteFloorMs() {
  double total = kHandshakeMs + kStartMs;
  for (std::int32_t segment = 0; segment < kPlanSegments; ++segment) {
    // The request carries the segment's bytes and 10 more; the acknowledgement is 10 bytes.
    const double onLine = (PlannedSegmentAt(segment).bytes() + 10 + 10) * kByteMs;
    int polls = 1;
    while (polls * 11.0 < onLine) {
      ++polls;
    }
    total += polls * 11.0;
  }
  return total;
}

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
  int runs = 5;
  if (argc == 3 && std::strcmp(argv[1], "--runs") == 0) {
    runs = std::max(1, std::atoi(argv[2]));
  }
  const Launcher launcher = Launcher::FromEnvironment();
  TempFolder folder;
  Simulator sim(folder.path(), {});
  const std::string slot = std::to_string(launcher.slot());

  std::printf("%-12s %4s %12s %10s %7s %10s %9s %10s\n", "", "runs", "median wall", "floor",
              "ratio", "median CPU", "CPU/wall", "peak RSS");
  int failures = 0;
  // Each direction plain, then with --trace: recording every operation must not slow the line.
  for (const auto& [read, traced] : {std::pair{true, false}, std::pair{true, true},
                                     std::pair{false, false}, std::pair{false, true}}) {
    std::vector<double> wall;
    std::vector<double> cpu;
    long peakKb = 0;
    for (int run = 0; run < runs; ++run) {
      std::vector<std::string> args;
      if (traced) {
        args = {"--trace", "trace.txt"};
      }
      args.insert(args.end(), {slot, "region.bin"});
      if (read) {
        args.push_back("read");
      }
      const Finished done = launcher.Run(args, sim.device(), folder.path());
      if (done.status != 0) {
        std::fprintf(stderr, "run failed with status %d:\n%s\n", done.status, done.out.c_str());
        ++failures;
      }
      wall.push_back(static_cast<double>(done.took.count()));
      cpu.push_back(static_cast<double>(done.cpu.count()) / 1000.0);
      peakKb = std::max(peakKb, done.peakRssKb);
    }
    const double floorMs = read ? ReadFloorMs() : WriteFloorMs();
    const double medianWall = Median(wall);
    const double medianCpu = Median(cpu);
    std::printf("%-12s %4d %10.3f s %8.3f s %7.4f %7.1f ms %8.2f%% %6.2f MiB\n",
                read ? (traced ? "read+trace" : "read") : (traced ? "write+trace" : "write"), runs,
                medianWall / 1000.0, floorMs / 1000.0, medianWall / floorMs, medianCpu,
                100.0 * medianCpu / medianWall, static_cast<double>(peakKb) / 1024.0);
  }
  return failures == 0 && sim.Stop() == 0 ? 0 : 1;
}
