#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string Need(const char* what, const char* value) {
  if (*value == '\0') {
    throw std::runtime_error(std::string("the build did not name ") + what);
  }
  return value;
}

// Waits for `pid` until `deadline`; kills its process group when the time is up.
int Reap(pid_t pid, std::chrono::steady_clock::time_point deadline, bool* timedOut,
         rusage* usage = nullptr) {
  int status = 0;
  rusage ignored;
  rusage* into = usage ? usage : &ignored;
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, into);
    if (done == pid) {
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      *timedOut = true;
      kill(-pid, SIGKILL);
      wait4(pid, &status, 0, into);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

}  // namespace

pid_t SpawnChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const fs::path& folder, int outFd, const fs::path& errLog) {
  std::vector<std::string> words = argv;
  std::vector<char*> args;
  for (std::string& word : words) {
    args.push_back(word.data());
  }
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int in = open("/dev/null", O_RDONLY);
    const int err = open(errLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(in, 0);
    dup2(outFd, 1);
    dup2(err, 2);
    if (chdir(folder.c_str()) != 0) {
      _exit(126);
    }
    for (const std::string& entry : env) {
      putenv(strdup(entry.c_str()));
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int ReapChild(pid_t pid, std::chrono::steady_clock::time_point deadline, bool* timedOut) {
  return Reap(pid, deadline, timedOut);
}

Finished RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const fs::path& folder, const fs::path& errLog, std::chrono::seconds limit,
                  const std::function<void(pid_t)>& whileRunning) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + limit;
  const pid_t pid = SpawnChild(argv, env, folder, pipeFds[1], errLog);
  close(pipeFds[1]);
  std::thread watcher;
  if (whileRunning) {
    watcher = std::thread(whileRunning, pid);
  }
  Finished result;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      break;
    }
    pollfd pfd = {pipeFds[0], POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
      continue;
    }
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    result.out.append(buffer, static_cast<std::size_t>(n));
  }
  close(pipeFds[0]);
  if (watcher.joinable()) {
    watcher.join();
  }
  rusage usage;
  std::memset(&usage, 0, sizeof usage);
  result.status = Reap(pid, deadline, &result.timedOut, &usage);
  result.took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  result.cpu =
      std::chrono::microseconds((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000L +
                                usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  result.peakRssKb = usage.ru_maxrss;
  return result;
}

Simulator::Simulator(const fs::path& folder, const std::vector<std::string>& options)
    : folder_(folder) {
  std::vector<std::string> argv = {UnitsimPath(),
                                   "--com",
                                   "7",
                                   "--log",
                                   (folder / "unit.log").string(),
                                   "--transcript",
                                   (folder / "unit.hex").string(),
                                   "--save",
                                   savedRegion().string(),
                                   "--idle-limit",
                                   "300000"};
  argv.insert(argv.end(), options.begin(), options.end());
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_ = SpawnChild(argv, {}, folder, pipeFds[1], folder / "unit.err");
  close(pipeFds[1]);
  // The first line names the device: COM7=/dev/pts/N.
  std::string line;
  char c;
  pollfd pfd = {pipeFds[0], POLLIN, 0};
  while (poll(&pfd, 1, 5000) > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(pipeFds[0]);
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) {
    Stop();
    throw std::runtime_error("unitsim did not start: '" + line + "'");
  }
  device_ = line.substr(eq + 1);
}

Simulator::~Simulator() {
  Stop();
}

int Simulator::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    bool timedOut = false;
    status_ = Reap(pid_, std::chrono::steady_clock::now() + std::chrono::seconds(10), &timedOut);
    pid_ = -1;
  }
  return status_;
}

std::vector<std::string> Simulator::Log() const {
  std::ifstream in(folder_ / "unit.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::size_t Simulator::Requests(const std::string& type) const {
  std::size_t count = 0;
  for (const std::string& line : Log()) {
    count += line.rfind(type + " ", 0) == 0 ? 1 : 0;
  }
  return count;
}

bool Simulator::AwaitRequests(const std::string& type, std::size_t count,
                              std::chrono::seconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (Requests(type) < count) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

Launcher Launcher::FromEnvironment() {
  Launcher launcher;
  const char* which = std::getenv("E2E_LAUNCHER");
  launcher.wine_ = which != nullptr && std::strcmp(which, "wine") == 0;
  if (launcher.wine_) {
    launcher.program_ = Need("VERLROCK_EXE", VERLROCK_EXE);
    launcher.wineDir_ = Need("WINE_E2E_DIR", WINE_E2E_DIR);
  } else {
    launcher.program_ = Need("VERLROCK_BIN", VERLROCK_BIN);
  }
  return launcher;
}

Finished Launcher::Run(const std::vector<std::string>& args, const std::string& device,
                       const fs::path& folder, const RunExtras& extras) const {
  const std::string slotName = "COM" + std::to_string(slot());
  const std::string target = device.empty() ? "/nonexistent/verlrock-port" : device;
  std::vector<std::string> argv;
  std::vector<std::string> env;
  if (wine_) {
    // The prefix maps the slot once to this symlink; only the symlink moves.
    const fs::path link = fs::path(wineDir_) / ("com" + std::to_string(slot()));
    fs::remove(link);
    fs::create_symlink(target, link);
    argv = {"wine", program_};
    env = {"WINEPREFIX=" + wineDir_ + "/prefix", "WINEDEBUG=-all",
           "WINEDLLOVERRIDES=mscoree,mshtml=", "DISPLAY="};
  } else {
    argv = extras.wrapper;
    argv.push_back(extras.program.empty() ? program_ : extras.program);
    // Every other port number the tests use names a path that does not exist.
    env = {slotName + "=" + target};
    for (const char* other : {"COM255=", "COM12=", "COM42=", "COM-5="}) {
      env.push_back(std::string(other) + "/nonexistent/verlrock-port");
    }
  }
  argv.insert(argv.end(), args.begin(), args.end());
  return RunChild(argv, env, folder, folder / "tool.err", std::chrono::seconds(60),
                  extras.whileRunning);
}

std::string UnitsimPath() {
  return Need("UNITSIM_BIN", UNITSIM_BIN);
}
