// A QEMU guest booted from Debian's kernel and our initramfs, with the simulated unit's
// pseudo-terminal behind its second 16550 UART or behind QEMU's emulated FTDI adapter. The
// guest runs the steps it is given and prints a line for each; the tests judge those lines.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

enum class Adapter { kUart, kFtdi };

// One line the guest printed: "VR <step> key=value ...".
struct StepResult {
  std::string step;
  std::map<std::string, std::string> fields;
  // A field's hex value decoded to bytes.
  std::vector<std::uint8_t> Bytes(const std::string& key) const;
  std::string Text(const std::string& key) const;
};

class Guest {
 public:
  // Boots the guest in `folder` (console, trace and monitor socket go there) with the unit's
  // pseudo-terminal `line` behind `adapter`, to run `steps` (comma-separated).
  Guest(const std::filesystem::path& folder, Adapter adapter, const std::string& line,
        const std::string& steps);
  ~Guest();
  Guest(const Guest&) = delete;
  Guest& operator=(const Guest&) = delete;

  // Sends one command to QEMU's monitor (for example "device_del usb0").
  void Monitor(const std::string& command) const;

  // Waits for the guest to power off, at most `limit`, and returns the lines of its steps.
  // Throws when it did not finish in time or printed no end line.
  std::vector<StepResult> Finish(std::chrono::seconds limit);

  // QEMU's trace of the FTDI adapter's control requests.
  std::string Trace() const;

 private:
  std::filesystem::path folder_;
  pid_t pid_ = -1;
};

// The folder that prepare.sh made: the kernel, the initramfs and its data files.
std::filesystem::path GuestFiles();
