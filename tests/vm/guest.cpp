#include "tests/vm/guest.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/e2e/harness.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::vector<std::uint8_t> StepResult::Bytes(const std::string& key) const {
  const std::string hex = Text(key);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string StepResult::Text(const std::string& key) const {
  const auto found = fields.find(key);
  return found == fields.end() ? std::string("(missing)") : found->second;
}

fs::path GuestFiles() {
  return VM_GUEST_DIR;
}

Guest::Guest(const fs::path& folder, Adapter adapter, const std::string& line,
             const std::string& steps)
    : folder_(folder) {
  const fs::path files = GuestFiles();
  if (!fs::exists(files / "initrd.gz") || !fs::exists(files / "vmlinuz")) {
    throw std::runtime_error("no guest in " + files.string() + ": the vm.prepare test makes it");
  }
  std::vector<std::string> argv = {
      "qemu-system-x86_64",
      // KVM guests never get past the kernel's decompressor on these machines.
      "-accel", "tcg", "-display", "none", "-no-reboot", "-nodefaults", "-m", "256M", "-kernel",
      (files / "vmlinuz").string(), "-initrd", (files / "initrd.gz").string(), "-append",
      "console=ttyS0 quiet panic=-1 vr.steps=" + steps, "-serial",
      "file:" + (folder / "console.log").string(), "-chardev", "serial,id=u,path=" + line,
      "-monitor", "unix:" + (folder / "monitor.sock").string() + ",server,nowait", "-trace",
      "enable=usb_serial_*", "-D", (folder / "qemu.trace").string()};
  if (adapter == Adapter::kUart) {
    argv.insert(argv.end(), {"-serial", "chardev:u"});
  } else {
    argv.insert(argv.end(), {"-device", "qemu-xhci", "-device", "usb-serial,chardev=u,id=usb0"});
  }
  pid_ = SpawnChild(argv, {}, folder, STDERR_FILENO, folder / "qemu.err");
}

Guest::~Guest() {
  if (pid_ > 0) {
    kill(-pid_, SIGKILL);
    bool timedOut = false;
    ReapChild(pid_, std::chrono::steady_clock::now() + std::chrono::seconds(10), &timedOut);
  }
}

void Guest::Monitor(const std::string& command) const {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  const std::string path = (folder_ / "monitor.sock").string();
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) {
      close(fd);
    }
    throw std::runtime_error("cannot reach QEMU's monitor at " + path);
  }
  const std::string line = command + "\n";
  const bool sent = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  // Give the monitor time to take the command before the connection goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  close(fd);
  if (!sent) {
    throw std::runtime_error("cannot send '" + command + "' to QEMU's monitor");
  }
}

std::vector<StepResult> Guest::Finish(std::chrono::seconds limit) {
  bool timedOut = false;
  const int status = ReapChild(pid_, std::chrono::steady_clock::now() + limit, &timedOut);
  pid_ = -1;
  const std::string console = ReadText(folder_ / "console.log");
  if (timedOut) {
    throw std::runtime_error("the guest did not power off within " + std::to_string(limit.count()) +
                             " s; its console:\n" + console);
  }
  std::vector<StepResult> results;
  bool ended = false;
  std::istringstream lines(console);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.rfind("VR ", 0) != 0) {
      continue;
    }
    StepResult result;
    // stty's settings hold spaces and '=' of their own: they run to the end of the line.
    const std::size_t settings = line.find(" stty=");
    if (settings != std::string::npos) {
      result.fields["stty"] = line.substr(settings + 6);
      line.resize(settings);
    }
    std::istringstream words(line.substr(3));
    words >> result.step;
    if (result.step == "end") {
      ended = true;
      continue;
    }
    for (std::string word; words >> word;) {
      const std::size_t eq = word.find('=');
      if (eq != std::string::npos) {
        result.fields[word.substr(0, eq)] = word.substr(eq + 1);
      }
    }
    results.push_back(result);
  }
  if (!ended) {
    throw std::runtime_error("the guest ended (QEMU status " + std::to_string(status) +
                             ") before its last step; its console:\n" + console + "\nQEMU said:\n" +
                             ReadText(folder_ / "qemu.err"));
  }
  return results;
}

std::string Guest::Trace() const {
  return ReadText(folder_ / "qemu.trace");
}
