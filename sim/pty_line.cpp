#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <utility>

#include "sim/line_facts.h"

namespace {

std::int32_t TransferRequests(const Unit& unit) {
  std::int32_t count = 0;
  for (const RequestRecord& record : unit.requests()) {
    count += record.type == "RC" || record.type == "WC";
  }
  return count;
}

std::uint64_t NowUs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace

PtyLine::PtyLine() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname(master) == nullptr) {
    if (master >= 0) {
      close(master);
    }
    return;
  }
  devicePath_ = ptsname(master);
  // A serial line neither echoes nor edits; set that before any tool sees it.
  const int slave = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave >= 0) {
    termios tio;
    if (tcgetattr(slave, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(slave, TCSANOW, &tio);
    }
    close(slave);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  master_ = master;
}

PtyLine::~PtyLine() {
  if (master_ >= 0) {
    close(master_);
  }
}

void PtyLine::Serve(Unit& unit, const LineOptions& options, LineRecord& record,
                    volatile const int& stop) {
  const std::uint64_t start = NowUs();
  std::uint64_t lastActivity = start;
  double lineFreeOut = 0;  // when the line to the tool can take the next byte
  double lineFreeIn = 0;   // when the last byte from the tool has fully arrived
  std::deque<Emission> queue;
  bool toolOnLine = false;
  // Output is held off through a descriptor of the tool's side that unitsim keeps open: a
  // stopped terminal takes no bytes, and the tool's own set-up does not restart it. With that
  // side held open the master never sees a hang-up, so the line counts as open from the start.
  int held = -1;
  bool holding = false;
  struct Closer {
    int& fd;
    ~Closer() {
      if (fd >= 0) {
        close(fd);
      }
    }
  } closer{held};
  if (options.holdOutputFrom >= 0) {
    held = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    toolOnLine = held >= 0;
    unit.LineOpened(0);
  }

  while (!stop) {
    const std::uint64_t now = NowUs() - start;
    if (held >= 0 && !holding && TransferRequests(unit) >= options.holdOutputFrom) {
      holding = tcflow(held, TCOOFF) == 0;
    }
    for (Emission& emission : unit.outbox()) {
      queue.push_back(std::move(emission));
    }
    unit.outbox().clear();
    if (unit.hangupAtUs() <= now) {
      record.HungUp();
      close(master_);
      master_ = -1;
      return;
    }

    // Send what is due, at no more than the line rate. Each emission goes out in one write
    // once the line would have carried all of it, so that where a reply splits is decided by
    // the fault plan alone and never by a race with the tool's polls.
    while (!queue.empty()) {
      const Emission& next = queue.front();
      double doneAt = static_cast<double>(next.atUs);
      if (options.pacing) {
        doneAt = (lineFreeOut > doneAt ? lineFreeOut : doneAt) +
                 kByteUs * static_cast<double>(next.bytes.size());
      }
      if (doneAt > static_cast<double>(now)) {
        break;
      }
      // With no tool on the line the bytes are lost, as they would be on a real one; a full
      // buffer keeps the reply for the next turn.
      if (write(master_, next.bytes.data(), next.bytes.size()) < 0) {
        if (errno == EAGAIN) {
          break;
        }
        if (errno != EIO) {
          return;
        }
      }
      lineFreeOut = doneAt;
      record.Sent(now, next.bytes.data(), next.bytes.size());
      queue.pop_front();
    }

    int timeoutMs = 20;
    if (!queue.empty()) {
      timeoutMs = 1;
    }
    pollfd pfd = {master_, POLLIN, 0};
    const int ready = poll(&pfd, 1, timeoutMs);
    const std::uint64_t after = NowUs() - start;
    if (ready > 0 && (pfd.revents & POLLHUP) && !(pfd.revents & POLLIN)) {
      // No tool has the line open; poll would report that at once, again and again.
      toolOnLine = false;
      usleep(1000);
    } else {
      if (!toolOnLine) {
        toolOnLine = true;
        unit.LineOpened(after);
      }
      std::uint8_t in[1024];
      const ssize_t n = read(master_, in, sizeof in);
      if (n > 0) {
        lastActivity = after + start;
        record.Received(after, in, static_cast<std::size_t>(n));
        double arrived = static_cast<double>(after);
        if (options.pacing) {
          arrived =
              (lineFreeIn > arrived ? lineFreeIn : arrived) + kByteUs * static_cast<double>(n);
          lineFreeIn = arrived;
        }
        unit.Take(in, static_cast<std::size_t>(n), static_cast<std::uint64_t>(arrived));
      }
    }
    record.CatchUp(unit);
    if (options.idleLimitMs > 0 &&
        NowUs() - lastActivity > static_cast<std::uint64_t>(options.idleLimitMs) * 1000u) {
      return;
    }
  }
}
