// The POSIX port against a pseudo-terminal: this test holds the unit's end.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/serial_device_posix.h"
#include "link/serial_port.h"
#include "tests/messages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const char kPath[] = "\\\\.\\COM9";

// Standard output redirected into a pipe for as long as it lives; Take() restores it and
// returns what was printed (the tests print far less than a pipe holds).
class StdoutPipe {
 public:
  StdoutPipe() {
    std::fflush(stdout);
    saved_ = dup(1);
    if (pipe(fds_) != 0 || saved_ < 0) {
      ADD_FAILURE() << "cannot redirect standard output";
      return;
    }
    dup2(fds_[1], 1);
    close(fds_[1]);
  }
  ~StdoutPipe() { Take(); }
  std::string Take() {
    std::string text;
    if (saved_ < 0) {
      return text;
    }
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    saved_ = -1;
    char buffer[4096];
    for (ssize_t n; (n = read(fds_[0], buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds_[0]);
    return text;
  }

 private:
  int fds_[2] = {-1, -1};
  int saved_ = -1;
};

class PosixPort : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slavePath_ = ptsname(master_);
    // Held open so that the line's settings can be read from outside the port under test.
    observer_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(observer_, 0);
    setenv("COM9", slavePath_.c_str(), 1);
  }

  void TearDown() override {
    if (comHandle >= 0) {
      close(static_cast<int>(comHandle));
      comHandle = -1;
    }
    if (observer_ >= 0) {
      close(observer_);
    }
    if (master_ >= 0) {
      close(master_);
    }
    unsetenv("COM9");
  }

  // The state a new terminal line has: cooked, echoing, XON/XOFF, 9600 baud.
  void MakeCooked() {
    termios tio;
    ASSERT_EQ(tcgetattr(observer_, &tio), 0);
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_iflag |= IXON | IXOFF | ICRNL;
    tio.c_oflag |= OPOST | ONLCR;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    ASSERT_EQ(tcsetattr(observer_, TCSANOW, &tio), 0);
  }

  void SendFromUnit(const Bytes& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    // Let the pseudo-terminal hand the bytes to the line discipline.
    pollfd pfd = {observer_, POLLIN, 0};
    poll(&pfd, 1, 200);
  }

  Bytes ReadAll() {
    Bytes got;
    std::uint8_t buffer[1000];
    for (int polls = 0; polls < 50; ++polls) {
      std::uint32_t count = 0;
      EXPECT_TRUE(ReadComPort(comHandle, buffer, sizeof buffer, &count));
      got.insert(got.end(), buffer, buffer + count);
      if (count == 0 && !got.empty()) {
        break;
      }
      usleep(2000);
    }
    return got;
  }

  int master_ = -1;
  int observer_ = -1;
  std::string slavePath_;
};

TEST_F(PosixPort, OpenMakesACookedLineRaw115200WithoutSoftwareFlowControl) {
  MakeCooked();
  ASSERT_EQ(OpenComPort(115200, kPath), 0);
  termios tio;
  ASSERT_EQ(tcgetattr(observer_, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(PosixPort, BytesThatACookedLineWouldMangleCrossUnchanged) {
  MakeCooked();
  ASSERT_EQ(OpenComPort(115200, kPath), 0);
  const Bytes awkward = {0x00, 0x0A, 0x0D, 0x11, 0x13, 0x55, 0x55, 0x03, 0x7F, 0xFF, 0x0D};
  SendFromUnit(awkward);
  EXPECT_EQ(ReadAll(), awkward);

  ASSERT_TRUE(WriteComPort(comHandle, awkward.data(), static_cast<std::uint32_t>(awkward.size())));
  Bytes atUnit(64);
  pollfd pfd = {master_, POLLIN, 0};
  ASSERT_EQ(poll(&pfd, 1, 1000), 1);
  const ssize_t n = read(master_, atUnit.data(), atUnit.size());
  ASSERT_GT(n, 0);
  atUnit.resize(static_cast<std::size_t>(n));
  EXPECT_EQ(atUnit, awkward);
}

TEST_F(PosixPort, ReadOnAQuietLineSucceedsEmptyWithoutBlocking) {
  ASSERT_EQ(OpenComPort(115200, kPath), 0);
  std::uint8_t buffer[1000];
  std::uint32_t count = 99;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReadComPort(comHandle, buffer, sizeof buffer, &count));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(count, 0u);
  // Only a guard against blocking; the 1 ms itself is for the benchmark to judge.
  EXPECT_LT(took, std::chrono::seconds(1));
}

TEST_F(PosixPort, PurgeDropsWhatArrivedBeforeIt) {
  ASSERT_EQ(OpenComPort(115200, kPath), 0);
  SendFromUnit({1, 2, 3, 4});
  PurgeComPort(comHandle);
  SendFromUnit({5, 6});
  EXPECT_EQ(ReadAll(), (Bytes{5, 6}));
}

// Output stopped as by CTS low: the write waits out its limit and fails, and the bytes still
// queued can be thrown away so that no close waits for them.
TEST_F(PosixPort, WriteThatTheLineDoesNotTakeFails) {
  ASSERT_EQ(OpenComPort(115200, kPath), 0);
  ASSERT_EQ(tcflow(observer_, TCOOFF), 0);
  const Bytes packet(12, 0x55);
  EXPECT_FALSE(WriteComPort(comHandle, packet.data(), static_cast<std::uint32_t>(packet.size())));
  DiscardComPortOutput(comHandle);
  ASSERT_EQ(tcflow(observer_, TCOON), 0);
  pollfd pfd = {master_, POLLIN, 0};
  EXPECT_EQ(poll(&pfd, 1, 200), 0) << "discarded bytes reached the unit";
}

TEST_F(PosixPort, HangUpIsAReadFailureNotAQuietLine) {
  ASSERT_EQ(OpenComPort(115200, kPath), 0);
  close(master_);
  master_ = -1;
  std::uint8_t buffer[16];
  std::uint32_t count = 99;
  EXPECT_FALSE(ReadComPort(comHandle, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);
}

TEST_F(PosixPort, APortInUseFailsToOpen) {
  ASSERT_EQ(OpenComPort(115200, kPath), 0);
  const PortHandle first = comHandle;
  StdoutPipe output;
  EXPECT_EQ(OpenComPort(115200, kPath), -1);
  const std::string out = output.Take();
  EXPECT_EQ(out.rfind("Can't open COM Port \\\\.\\COM9 - Error: ", 0), 0u) << out;
  EXPECT_EQ(out.back(), '\n');
  comHandle = first;
}

TEST_F(PosixPort, MissingDeviceReportsPathAndErrno) {
  setenv("COM9", "/nonexistent/verlrock-port", 1);
  StdoutPipe output;
  EXPECT_EQ(OpenComPort(115200, kPath), -1);
  EXPECT_EQ(output.Take(), CantOpenPort(kPath, "2"));
}

TEST(PosixDevice, ComPortNamesItsVariableOrTheMatchingTtyS) {
  setenv("COM12", "/dev/ttyUSB0", 1);
  unsetenv("COM1");
  unsetenv("COM10");
  const struct {
    const char* path;
    const char* device;
  } cases[] = {
      {"\\\\.\\COM12", "/dev/ttyUSB0"},
      {"\\\\.\\COM1", "/dev/ttyS0"},
      {"\\\\.\\COM10", "/dev/ttyS9"},
      {"/dev/ttyACM0", "/dev/ttyACM0"},
  };
  for (const auto& c : cases) {
    char buffer[64];
    EXPECT_STREQ(DeviceFor(c.path, buffer, sizeof buffer), c.device) << c.path;
  }
  unsetenv("COM12");
}

}  // namespace
