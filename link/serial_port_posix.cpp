// termios stand-in for the kernel32 port: same operations, same observable behaviour.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "link/serial_device_posix.h"
#include "link/serial_port.h"

PortHandle comHandle = -1;

namespace {

constexpr long kWriteLimitUs = 5000000;  // a write not taken whole by then has failed

int Fd(PortHandle handle) {
  return static_cast<int>(handle);
}

bool SpeedFor(std::uint32_t baudRate, speed_t* speed) {
  static const struct {
    std::uint32_t rate;
    speed_t speed;
  } kSpeeds[] = {{9600, B9600},   {19200, B19200},   {38400, B38400},
                 {57600, B57600}, {115200, B115200}, {230400, B230400}};
  for (const auto& entry : kSpeeds) {
    if (entry.rate == baudRate) {
      *speed = entry.speed;
      return true;
    }
  }
  return false;
}

int Configure(int fd, std::uint32_t baudRate) {
  termios tio;
  if (tcgetattr(fd, &tio) != 0) {
    std::memset(&tio, 0, sizeof tio);
  }
  speed_t speed;
  if (!SpeedFor(baudRate, &speed)) {
    return EINVAL;
  }
  // Raw 8N1; hardware flow control (CRTSCTS) is left as the port had it.
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD | CS8;
  tio.c_cflag &= ~(PARENB | CSTOPB);
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 ||
      tcsetattr(fd, TCSANOW, &tio) != 0) {
    return errno;
  }
  // Pseudo-terminals have no modem lines; that is not a failure.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
    return errno;
  }
  return 0;
}

timespec After(long micros) {
  timespec at;
  clock_gettime(CLOCK_MONOTONIC, &at);
  at.tv_sec += micros / 1000000L;
  at.tv_nsec += (micros % 1000000L) * 1000L;
  if (at.tv_nsec >= 1000000000L) {
    at.tv_sec += 1;
    at.tv_nsec -= 1000000000L;
  }
  return at;
}

long MicrosUntil(const timespec& deadline) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (deadline.tv_sec - now.tv_sec) * 1000000L + (deadline.tv_nsec - now.tv_nsec) / 1000L;
}

}  // namespace

// \\.\COMn names the device in the variable COMn when set, else /dev/ttyS<n-1>.
const char* DeviceFor(const char* devicePath, char* buffer, std::size_t size) {
  const char* name = std::strstr(devicePath, "COM");
  if (name == nullptr) {
    return devicePath;
  }
  if (const char* mapped = std::getenv(name)) {
    return mapped;
  }
  std::snprintf(buffer, size, "/dev/ttyS%ld", std::strtol(name + 3, nullptr, 10) - 1);
  return buffer;
}

int OpenComPort(std::uint32_t baudRate, const char* devicePath) {
  char buffer[64];
  const char* device = DeviceFor(devicePath, buffer, sizeof buffer);
  int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  // A port in use fails to open, as an exclusive open does on Windows.
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    fd = -1;
    errno = error;
  }
  comHandle = fd;
  if (fd < 0) {
    std::printf("Can't open COM Port %s - Error: %ld\n", devicePath, static_cast<long>(errno));
    std::fflush(stdout);
    return -1;
  }
  ioctl(fd, TIOCEXCL);  // best effort: it does not stop root

  const int error = Configure(fd, baudRate);
  if (error != 0) {
    std::printf("SetCommState() failed; Error: %ld\n", static_cast<long>(error));
    std::fflush(stdout);
    return -1;
  }
  return 0;
}

bool WriteComPort(PortHandle handle, const std::uint8_t* buffer, std::uint32_t length) {
  const timespec deadline = After(kWriteLimitUs);
  std::uint32_t sent = 0;
  while (sent < length) {
    const ssize_t n = write(Fd(handle), buffer + sent, length - sent);
    if (n > 0) {
      sent += static_cast<std::uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN) {
      return false;
    }
    const long left = MicrosUntil(deadline);
    if (left <= 0) {
      return false;
    }
    pollfd pfd = {Fd(handle), POLLOUT, 0};
    const int ready = poll(&pfd, 1, static_cast<int>((left + 999) / 1000));
    if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      return false;
    }
  }
  return true;
}

void DiscardComPortOutput(PortHandle handle) {
  tcflush(Fd(handle), TCOFLUSH);
}

bool ReadComPort(PortHandle handle, std::uint8_t* destination, std::uint32_t capacity,
                 std::uint32_t* bytesReceived) {
  *bytesReceived = 0;
  const timespec deadline = After(1000);
  std::uint32_t got = 0;
  bool readable = false;
  while (got < capacity) {
    const ssize_t n = read(Fd(handle), destination + got, capacity - got);
    if (n > 0) {
      got += static_cast<std::uint32_t>(n);
      readable = false;
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    // With VMIN and VTIME at 0 a quiet line reads as 0 bytes, so only a 0 right after poll
    // reported the port readable means the line hung up.
    // End of file on a port that said it was readable is a hang-up, not a quiet line.
    if ((n == 0 && readable) || (n < 0 && errno != EAGAIN)) {
      if (got > 0) {
        break;  // hand over what came first; the next read reports the failure
      }
      return false;
    }
    const long left = MicrosUntil(deadline);
    if (left <= 0) {
      break;
    }
    pollfd pfd = {Fd(handle), POLLIN, 0};
    const timespec wait = {0, left * 1000L};
    const int ready = ppoll(&pfd, 1, &wait, nullptr);
    if (ready == 0) {
      break;
    }
    if (ready > 0) {
      if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(pfd.revents & POLLIN)) {
        if (got > 0) {
          break;
        }
        return false;
      }
      readable = true;
    }
  }
  *bytesReceived = got;
  return true;
}

void PurgeComPort(PortHandle handle) {
  tcflush(Fd(handle), TCIFLUSH);
}

void SleepMs(std::uint32_t milliseconds) {
  timespec wait = {static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

std::uint64_t NowUs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}
