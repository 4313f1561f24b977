#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "tool/console.h"
#include "tool/port_list.h"
#include "tool/port_list_posix.h"

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, or "" when there is none.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
    line.pop_back();
  }
  return line;
}

// The kernel's names for the UART types it reports (serial_core.h).
std::string UartName(const std::string& type) {
  const std::map<std::string, std::string> names = {
      {"1", "8250"},   {"2", "16450"},   {"3", "16550"},     {"4", "16550A"},
      {"6", "16650"},  {"7", "16650V2"}, {"8", "16750"},     {"10", "16C950"},
      {"11", "16654"}, {"12", "16850"},  {"14", "NS16550A"},
  };
  const auto name = names.find(type);
  return name != names.end() ? name->second : "uart type " + type;
}

// The tty's number, so that ttyS2 comes before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
      --digits;
    }
    const long number = digits < name.size() ? std::strtol(name.c_str() + digits, nullptr, 10) : -1;
    return std::make_pair(name.substr(0, digits), number);
  };
  return split(a) < split(b);
}

// The stable names udev gives, by the tty they lead to.
std::map<std::string, std::string> StableNames(const std::string& root) {
  std::map<std::string, std::string> names;
  std::error_code error;
  for (const auto& link : fs::directory_iterator(root + "/dev/serial/by-id", error)) {
    const fs::path to = fs::canonical(link.path(), error);
    if (!error) {
      names[to.filename().string()] = "/dev/serial/by-id/" + link.path().filename().string();
    }
  }
  return names;
}

// A USB adapter's identity from the device above the tty; "" when there is none.
std::string UsbIdentity(const fs::path& device) {
  std::error_code error;
  fs::path at = fs::canonical(device, error);
  for (int up = 0; !error && up < 8 && at.has_relative_path(); ++up, at = at.parent_path()) {
    if (!fs::exists(at / "idVendor", error)) {
      continue;
    }
    std::string identity = "usb " + Attribute(at / "idVendor") + ":" + Attribute(at / "idProduct");
    for (const char* field : {"manufacturer", "product"}) {
      const std::string value = Attribute(at / field);
      if (!value.empty()) {
        identity += ", " + value;
      }
    }
    const std::string serial = Attribute(at / "serial");
    if (!serial.empty()) {
      identity += ", serial " + serial;
    }
    return identity;
  }
  return "";
}

std::string Describe(const fs::path& tty, const std::string& name,
                     const std::map<std::string, std::string>& stableNames) {
  if (name.rfind("ttyS", 0) == 0) {
    const std::string type = Attribute(tty / "type");
    if (type.empty() || type == "0") {
      return "";  // a placeholder for a UART that is not there
    }
    std::string what = UartName(type);
    const std::string port = Attribute(tty / "port");
    if (!port.empty() && port != "0x0") {
      what += ", port " + port;
    }
    const std::string irq = Attribute(tty / "irq");
    if (!irq.empty()) {
      what += ", irq " + irq;
    }
    const long number = std::strtol(name.c_str() + 4, nullptr, 10);
    return "/dev/" + name + "  COM" + std::to_string(number + 1) + " by default  " + what;
  }
  const auto stable = stableNames.find(name);
  const std::string path = stable != stableNames.end() ? stable->second : "/dev/" + name;
  std::string what = UsbIdentity(tty / "device");
  if (what.empty()) {
    std::error_code error;
    const fs::path driver = fs::canonical(tty / "device" / "driver", error);
    what = error ? "serial device" : "driver " + driver.filename().string();
  }
  return "/dev/" + name + "  COMn=" + path + "  " + what;
}

}  // namespace

std::vector<std::string> DescribeSerialPorts(const std::string& root) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(root + "/sys/class/tty", error)) {
    // Virtual terminals and pseudo-terminals have no device behind them.
    if (fs::exists(entry.path() / "device", error)) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  const std::map<std::string, std::string> stableNames = StableNames(root);
  std::vector<std::string> lines;
  for (const std::string& name : names) {
    const std::string line = Describe(root + "/sys/class/tty/" + name, name, stableNames);
    if (!line.empty()) {
      lines.push_back(line);
    }
  }
  return lines;
}

void ListSerialPorts() {
  const std::vector<std::string> lines = DescribeSerialPorts("");
  if (lines.empty()) {
    Say("No serial ports found\r\n");
  }
  for (const std::string& line : lines) {
    Say("%s\r\n", line.c_str());
  }
}
