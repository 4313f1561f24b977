// --list on Linux, over a small copy of the sysfs and /dev trees it reads.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_folder.h"
#include "tool/port_list_posix.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Describe(const fs::path& root) {
  static PortLine lines[kMostPorts];
  const int found = DescribeSerialPorts(root.c_str(), lines);
  std::vector<std::string> described;
  for (int i = 0; i < found; ++i) {
    described.push_back(lines[i].text);
  }
  return described;
}

void Put(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text << "\n";
}

// A tty in /sys/class/tty that links to its device folder, as the kernel lays them out.
void AddTty(const fs::path& root, const std::string& name, const fs::path& deviceDir) {
  const fs::path ttyDir = root / "sys/devices" / deviceDir / "tty" / name;
  fs::create_directories(ttyDir);
  fs::create_directory_symlink(root / "sys/devices" / deviceDir, ttyDir / "device");
  fs::create_directories(root / "sys/class/tty");
  fs::create_directory_symlink(ttyDir, root / "sys/class/tty" / name);
}

TEST(PortList, NamesTheHardwareBehindEachTty) {
  TempFolder folder;
  const fs::path root = folder.path();
  // Two UARTs that are there, two placeholders, a console and a USB adapter.
  for (const auto& [name, type, port, irq] :
       {std::tuple{"ttyS0", "4", "0x3F8", "4"}, std::tuple{"ttyS1", "0", "0x2F8", "3"},
        std::tuple{"ttyS10", "0", "0x0", "0"}, std::tuple{"ttyS2", "1", "0x3E8", "4"}}) {
    AddTty(root, name, std::string("platform/serial8250/") + name);
    const fs::path dir = root / "sys/class/tty" / name;
    Put(dir / "type", type);
    Put(dir / "port", port);
    Put(dir / "irq", irq);
  }
  fs::create_directories(root / "sys/devices/virtual/tty/tty0");
  fs::create_directory_symlink(root / "sys/devices/virtual/tty/tty0", root / "sys/class/tty/tty0");
  const fs::path usb = "pci0000:00/0000:00:04.0/usb1/1-1";
  Put(root / "sys/devices" / usb / "idVendor", "0403");
  Put(root / "sys/devices" / usb / "idProduct", "6001");
  Put(root / "sys/devices" / usb / "manufacturer", "FTDI");
  Put(root / "sys/devices" / usb / "product", "FT232R USB UART");
  Put(root / "sys/devices" / usb / "serial", "A10K3XYZ");
  AddTty(root, "ttyUSB0", usb / "1-1:1.0/ttyUSB0");
  fs::create_directories(root / "dev/serial/by-id");
  Put(root / "dev/ttyUSB0", "");
  fs::create_symlink("../../ttyUSB0",
                     root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");

  EXPECT_EQ(Describe(root),
            (std::vector<std::string>{
                "/dev/ttyS0  COM1 by default  16550A, port 0x3F8, irq 4",
                "/dev/ttyS2  COM3 by default  8250, port 0x3E8, irq 4",
                "/dev/ttyUSB0  COMn=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0"
                "  usb 0403:6001, FTDI, FT232R USB UART, serial A10K3XYZ",
            }));
}

TEST(PortList, AMachineWithoutPortsListsNone) {
  TempFolder folder;
  EXPECT_TRUE(Describe(folder.path()).empty());
  fs::create_directories(folder.path() / "sys/class/tty");
  EXPECT_TRUE(Describe(folder.path()).empty());
}

}  // namespace
