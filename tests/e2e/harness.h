// Runs the real program as a child process against unitsim on a pseudo-terminal, natively or
// as the Windows build under Wine. Every child is bounded in time and reaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

struct Finished {
  int status = -1000;  // exit status as the shell sees it (255 for -1); -signal if killed
  std::string out;     // standard output, byte for byte
  std::chrono::milliseconds took{0};
  std::chrono::microseconds cpu{0};  // user and system time of the child
  long peakRssKb = 0;                // the child's peak resident memory
  bool timedOut = false;
};

// Starts `argv` in `folder`, in a process group of its own, with `env` added, standard input
// empty, standard output to `outFd` and standard error appended to `errLog`.
pid_t SpawnChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::filesystem::path& folder, int outFd,
                 const std::filesystem::path& errLog);

// Waits for `pid` until `deadline`, then kills its process group. The exit status as the shell
// sees it, or -signal.
int ReapChild(pid_t pid, std::chrono::steady_clock::time_point deadline, bool* timedOut);

// Runs `argv` in `folder` with `env` added, standard input empty, standard error to `errLog`.
// `whileRunning`, when given, is called with the child's pid on a thread of its own.
Finished RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::filesystem::path& folder, const std::filesystem::path& errLog,
                  std::chrono::seconds limit, const std::function<void(pid_t)>& whileRunning = {});

// What a test may add to a run of the tool.
struct RunExtras {
  std::vector<std::string> wrapper{};         // natively, words before the program (setpriv)
  std::string program{};                      // natively, in place of the build's program
  std::function<void(pid_t)> whileRunning{};  // as for RunChild
};

// A running unitsim; stopped (SIGTERM) by Stop() or the destructor.
class Simulator {
 public:
  Simulator(const std::filesystem::path& folder, const std::vector<std::string>& options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& device() const { return device_; }
  // Ends the simulator; its exit status (0: no fault of the tool seen).
  int Stop();
  // The frames it received, a line each ("SF", "RC 120 120", "FAULT ...").
  std::vector<std::string> Log() const;
  // How many requests of `type` ("RC", "WC") it has received.
  std::size_t Requests(const std::string& type) const;
  // Waits until it has received `count` requests of `type`; false when `limit` ran out first.
  bool AwaitRequests(const std::string& type, std::size_t count, std::chrono::seconds limit) const;
  std::filesystem::path savedRegion() const { return folder_ / "unit-region.bin"; }

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  int status_ = -1;
  std::string device_;
};

// How the tool is started: the native build with COMn in its environment, or the Windows
// build under Wine with COMn mapped through a symlink the Wine prefix points at.
class Launcher {
 public:
  static Launcher FromEnvironment();
  bool wine() const { return wine_; }
  const char* name() const { return wine_ ? "wine" : "native"; }
  // The COM number served by the simulator; other numbers name nothing.
  int slot() const { return 7; }
  // Runs the tool with `args`, its COM slot pointed at `device` (empty: at nothing).
  Finished Run(const std::vector<std::string>& args, const std::string& device,
               const std::filesystem::path& folder, const RunExtras& extras = {}) const;
  const std::string& program() const { return program_; }

 private:
  bool wine_ = false;
  std::string program_;
  std::string wineDir_;
};

std::string UnitsimPath();
