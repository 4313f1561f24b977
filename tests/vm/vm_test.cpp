// The Linux build on real serial drivers: Debian's kernel in a QEMU guest, the tool on the
// guest's 16550 UART or on QEMU's emulated FTDI adapter (driven by the kernel's ftdi_sio), and
// unitsim on the host end of the line. Outcomes only: QEMU does not pace bytes at the baud
// rate and the guest's clock is emulated, so no case judges a timing.
#include <gtest/gtest.h>

#include <regex>

#include "sim/unit.h"
#include "tests/e2e/harness.h"
#include "tests/messages.h"
#include "tests/vm/guest.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::chrono::seconds kGuestLimit{240};

enum class Data { kPattern, kImage, kOld, kAbsent, kAny };

// What one step of the guest must show.
struct StepExpect {
  std::string step;  // as the guest names it, "read:a.bin"
  int status;
  std::string out;  // the tool's standard output, prompt included
  Data data;        // the data file afterwards
};

struct VmCase {
  const char* name;
  Adapter adapter;
  std::vector<std::string> sim{};  // unitsim's options
  std::string steps{};
  std::vector<StepExpect> expect{};
  long reads = -1;  // read and write requests the unit received; -1: not checked
  long writes = -1;
  Data unitAfter = Data::kPattern;  // the unit's region at the end
  std::string unplugAfter{};        // device_del once the unit's log shows this request
  bool ftdiControl = false;         // judge the adapter's control requests
};

Bytes GuestData(const char* name) {
  return ReadBytes(GuestFiles() / "root" / "data" / name);
}

Bytes Expected(Data data) {
  switch (data) {
    case Data::kPattern: {
      const Region region = PatternRegion();
      return Bytes(region.begin(), region.end());
    }
    case Data::kImage:
      return GuestData("image.bin");
    case Data::kOld:
      return GuestData("old.bin");
    case Data::kAbsent:
    case Data::kAny:
      break;
  }
  return {};
}

std::string Out(const std::string& text) {
  return text + kPrompt;
}

// The adapter is told the baud rate a real FT232 runs at for 115200, and the first
// modem-control request after that names both DTR and RTS and drops them.
void ExpectFtdiControl(const std::string& trace) {
  const std::regex baud("usb_serial_set_baud.* (\\d+)\\s*$");
  const std::regex control(
      "usb_serial_handle_control.* control 0x([0-9a-f]+), value 0x([0-9a-f]+)");
  std::istringstream lines(trace);
  bool baudSeen = false;
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_search(line, match, baud) && match[1] == "115384") {
      baudSeen = true;
    } else if (baudSeen && std::regex_search(line, match, control) &&
               (std::stoi(match[1], nullptr, 16) & 0xFF) == 0x01) {
      const int value = std::stoi(match[2], nullptr, 16);
      EXPECT_EQ(value & 0x0300, 0x0300) << "DTR and RTS are both set: " << line;
      EXPECT_EQ(value & 0x0003, 0) << "DTR or RTS raised: " << line;
      return;
    }
  }
  ADD_FAILURE() << (baudSeen ? "no modem-control request after the baud rate 115384"
                             : "the adapter was never set to 115384 baud")
                << "; QEMU's trace:\n"
                << trace;
}

const std::string kConsoleUart = "/dev/ttyS0  COM1 by default  16550A, port 0x3F8, irq 4\r\n";

// clang-format off
const VmCase kCases[] = {
    {.name = "UartRoundTrip", .adapter = Adapter::kUart, .steps = "read:a.bin,write:image.bin,read:b.bin",
     .expect = {{"read:a.bin", 0, Out(kProgress), Data::kPattern}, {"write:image.bin", 0, Out(kProgress), Data::kImage}, {"read:b.bin", 0, Out(kProgress), Data::kImage}},
     .reads = 104, .writes = 52, .unitAfter = Data::kImage},
    {.name = "UartCrcErrorOnce", .adapter = Adapter::kUart, .sim = {"--fault", "badcrc@3"}, .steps = "read:a.bin",
     .expect = {{"read:a.bin", 0, Out(kCrc + kProgress), Data::kPattern}}, .reads = 53, .writes = 0},
    {.name = "UartBadAcknowledgement", .adapter = Adapter::kUart, .sim = {"--fault", "badcrc@5"}, .steps = "write:image.bin",
     .expect = {{"write:image.bin", 1, Out(kCrc + Remain(7488) + Remain(2688)), Data::kImage}}, .reads = 0, .writes = 52, .unitAfter = Data::kImage},
    // A UART cannot see the far end hang up: the read waits out its bound.
    {.name = "UartUnitHangsUp", .adapter = Adapter::kUart, .sim = {"--fault", "hangup@20"}, .steps = "read:old.bin",
     .expect = {{"read:old.bin", 1, Out(kTimeout + TransferFailed("old.bin")), Data::kOld}}, .reads = 20, .writes = 0},
    // With CTS low (QEMU's pty behind the UART) the driver's buffer fills after a few hundred
    // quiet commands, and the next write is not taken.
    {.name = "UartHeldOffByCts", .adapter = Adapter::kUart, .steps = "crtscts,read:old.bin",
     .expect = {{"read:old.bin", 1, Out(kWriteError), Data::kOld}}, .reads = 0, .writes = 0},
    {.name = "FtdiReadAndWrite", .adapter = Adapter::kFtdi, .steps = "usb,read:a.bin,write:image.bin",
     .expect = {{"read:a.bin", 0, Out(kProgress), Data::kPattern}, {"write:image.bin", 0, Out(kProgress), Data::kImage}},
     .reads = 52, .writes = 52, .unitAfter = Data::kImage, .ftdiControl = true},
    {.name = "FtdiUnpluggedDuringRead", .adapter = Adapter::kFtdi, .sim = {"--fault", "drop@10+"}, .steps = "usb,read:old.bin",
     .expect = {{"read:old.bin", 1, Out(kReadError + TransferFailed("old.bin")), Data::kOld}}, .reads = 10, .writes = 0, .unplugAfter = "RC"},
    // In the write direction a failed read counts as an empty poll.
    {.name = "FtdiUnpluggedDuringWrite", .adapter = Adapter::kFtdi, .sim = {"--fault", "drop@10+"}, .steps = "usb,write:image.bin",
     .expect = {{"write:image.bin", 1, Out(kTimeout), Data::kImage}}, .reads = 0, .writes = 10, .unitAfter = Data::kAny, .unplugAfter = "WC"},
    // --list: the two UARTs QEMU gives (the console and the tool's line), not the placeholders the
    // kernel registers besides; then the adapter with its identity. The guest has no udev, so no
    // /dev/serial/by-id name.
    {.name = "UartList", .adapter = Adapter::kUart, .steps = "list",
     .expect = {{"list", 0, kConsoleUart + "/dev/ttyS1  COM2 by default  16550A, port 0x2F8, irq 3\r\n", Data::kAbsent}}, .reads = 0, .writes = 0},
    {.name = "FtdiList", .adapter = Adapter::kFtdi, .steps = "usb,list",
     .expect = {{"list", 0, kConsoleUart + "/dev/ttyUSB0  COMn=/dev/ttyUSB0  usb 0403:6001, QEMU, QEMU USB SERIAL, serial 1-0000:00:02.0-1\r\n", Data::kAbsent}}, .reads = 0, .writes = 0},
};
// clang-format on

void PrintTo(const VmCase& c, std::ostream* out) {
  *out << c.name;
}

class VirtualMachine : public ::testing::TestWithParam<VmCase> {
 protected:
  TempFolder folder;
};

TEST_P(VirtualMachine, Case) {
  const VmCase& c = GetParam();
  Simulator sim(folder.path(), c.sim);
  Guest guest(folder.path(), c.adapter, sim.device(), c.steps);
  if (!c.unplugAfter.empty()) {
    // The unit falls silent from request 10: once it has that request, the tool is polling.
    ASSERT_TRUE(sim.AwaitRequests(c.unplugAfter, 10, std::chrono::seconds(120)))
        << "the unit never got request 10";
    ASSERT_EQ(sim.Requests(c.unplugAfter), 10u);
    guest.Monitor("device_del usb0");
  }
  const std::vector<StepResult> results = guest.Finish(kGuestLimit);
  EXPECT_EQ(sim.Stop(), 0) << "the unit saw a faulty request";

  std::size_t next = 0;
  if (c.adapter == Adapter::kFtdi) {
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results[0].step, "usb");
    EXPECT_EQ(results[0].Text("found"), "yes") << "no /dev/ttyUSB0 in the guest";
    next = 1;
  }
  ASSERT_EQ(results.size(), next + c.expect.size());
  for (const StepExpect& expect : c.expect) {
    const StepResult& result = results[next++];
    EXPECT_EQ(result.step, expect.step);
    EXPECT_EQ(result.Text("status"), std::to_string(expect.status)) << expect.step;
    const Bytes out = result.Bytes("out");
    EXPECT_EQ(std::string(out.begin(), out.end()), expect.out) << expect.step;
    if (expect.data == Data::kAbsent) {
      EXPECT_EQ(result.Text("data"), "-") << expect.step;
    } else {
      EXPECT_EQ(result.Bytes("data"), Expected(expect.data)) << expect.step;
    }
    EXPECT_EQ(result.Text("tmp"), "0") << expect.step << ": a temporary file was left";
    if (expect.step == "list") {
      EXPECT_GT(std::stoi(result.Text("uarts")), 2)
          << "the kernel left no placeholder to leave out";
    }
  }
  if (c.reads >= 0) {
    EXPECT_EQ(static_cast<long>(sim.Requests("RC")), c.reads);
  }
  if (c.writes >= 0) {
    EXPECT_EQ(static_cast<long>(sim.Requests("WC")), c.writes);
  }
  if (c.unitAfter != Data::kAny) {
    EXPECT_EQ(ReadBytes(sim.savedRegion()), Expected(c.unitAfter));
  }
  if (c.ftdiControl) {
    ExpectFtdiControl(guest.Trace());
  }
}

INSTANTIATE_TEST_SUITE_P(Table, VirtualMachine, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

// The 16550's registers while the tool holds the port, read through /dev/port: DTR and RTS
// off, 8 data bits, no parity, one stop bit. Then speed and XON/XOFF as stty sees them. The
// unit is silent, so the tool stays in its handshake meanwhile and ends without an answer.
TEST(VirtualMachineUart, LineSettingsAsTheToolLeavesThem) {
  TempFolder folder;
  Simulator sim(folder.path(), {"--quiet-from", "1000000"});
  Guest guest(folder.path(), Adapter::kUart, sim.device(), "lines");
  const std::vector<StepResult> results = guest.Finish(kGuestLimit);
  EXPECT_EQ(sim.Stop(), 0);
  ASSERT_EQ(results.size(), 1u);
  const StepResult& lines = results[0];
  const int mcr = std::stoi(lines.Text("mcr"));
  const int lcr = std::stoi(lines.Text("lcr"));
  EXPECT_EQ(mcr & 0x01, 0) << "DTR is on";
  EXPECT_EQ(mcr & 0x02, 0) << "RTS is on";
  EXPECT_EQ(lcr & 0x03, 0x03) << "not 8 data bits";
  EXPECT_EQ(lcr & 0x04, 0) << "not one stop bit";
  EXPECT_EQ(lcr & 0x08, 0) << "parity is on";
  const std::string stty = " " + lines.Text("stty") + " ";
  EXPECT_NE(stty.find("speed 115200 baud"), std::string::npos) << stty;
  EXPECT_NE(stty.find(" -ixon "), std::string::npos) << stty;
  EXPECT_NE(stty.find(" -ixoff "), std::string::npos) << stty;
  EXPECT_EQ(lines.Text("status"), "1");
  const Bytes out = lines.Bytes("out");
  EXPECT_EQ(std::string(out.begin(), out.end()), kNoAnswer + kPrompt);
}

}  // namespace
