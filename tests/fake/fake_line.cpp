#include "tests/fake/fake_line.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "link/packet.h"
#include "link/serial_port.h"
#include "sim/line_facts.h"
#include "tool/console.h"

PortHandle comHandle = -1;

namespace {

FakeLine line;
bool strayDue = false;

// Moves what the unit has said onto the line, at the line's rate.
void Pump() {
  for (const Emission& emission : line.peer->outbox()) {
    for (std::uint8_t byte : emission.bytes) {
      double at = static_cast<double>(emission.atUs);
      if (line.lineFreeToTool > at) {
        at = line.lineFreeToTool;
      }
      line.lineFreeToTool = at + kByteUs;
      line.toTool.push_back({line.lineFreeToTool, byte});
    }
  }
  line.peer->outbox().clear();
}

bool HungUp() {
  return line.peer->hangupAtUs() <= line.nowUs;
}

void CheckLimit() {
  if (line.nowUs > line.limitUs) {
    throw RunawayRun("the run went on past " + std::to_string(line.limitUs / 1000000) +
                     " s of virtual time: the tool loops");
  }
}

}  // namespace

int FakeLine::QuietWrites() const {
  int count = 0;
  for (const Exchange& exchange : exchanges) {
    count += exchange.sent.size() == sizeof Quiet &&
             std::memcmp(exchange.sent.data(), Quiet, sizeof Quiet) == 0;
  }
  return count;
}

FakeLine& Line() {
  return line;
}

void ResetLine(Peer* peer) {
  line = FakeLine();
  line.peer = peer;
  strayDue = false;
}

int OpenComPort(std::uint32_t, const char* devicePath) {
  line.openedPath = devicePath;
  if (line.openFails) {
    Say("Can't open COM Port %s - Error: %ld\n", devicePath, 2L);
    return -1;
  }
  comHandle = 1;
  line.calls += 'O';
  line.peer->LineOpened(line.nowUs);
  return 0;
}

bool WriteComPort(PortHandle, const std::uint8_t* buffer, std::uint32_t length) {
  const int writes = static_cast<int>(std::count(line.calls.begin(), line.calls.end(), 'W') +
                                      std::count(line.calls.begin(), line.calls.end(), 'F'));
  if (line.writesFailFrom > 0 && writes + 1 >= line.writesFailFrom) {
    line.calls += 'F';
    line.nowUs += 5000000u;
    return false;
  }
  line.calls += 'W';
  if (HungUp()) {
    return false;
  }
  line.exchanges.push_back({{buffer, buffer + length}, {}, {}});
  strayDue = !line.strayAfterReply.empty();
  const double start = line.lineFreeToUnit > static_cast<double>(line.nowUs)
                           ? line.lineFreeToUnit
                           : static_cast<double>(line.nowUs);
  line.lineFreeToUnit = start + kByteUs * length;
  line.peer->Take(buffer, length, static_cast<std::uint64_t>(line.lineFreeToUnit));
  return true;
}

bool ReadComPort(PortHandle, std::uint8_t* destination, std::uint32_t capacity,
                 std::uint32_t* bytesReceived) {
  ++line.reads;
  line.calls += 'R';
  *bytesReceived = 0;
  CheckLimit();
  Pump();
  if (HungUp()) {
    return false;
  }
  // The read ends when `capacity` bytes are in or its 1 ms total time-out has run out.
  const double deadline = static_cast<double>(line.nowUs) + 1000.0;
  std::uint32_t got = 0;
  double last = 0;
  while (got < capacity && !line.toTool.empty() && line.toTool.front().atUs <= deadline) {
    last = line.toTool.front().atUs;
    destination[got++] = line.toTool.front().value;
    line.toTool.pop_front();
  }
  line.nowUs = got == capacity && last > static_cast<double>(line.nowUs)
                   ? static_cast<std::uint64_t>(last)
                   : static_cast<std::uint64_t>(deadline);
  *bytesReceived = got;
  if (!line.exchanges.empty()) {
    FakeLine::Exchange& exchange = line.exchanges.back();
    exchange.delivered.insert(exchange.delivered.end(), destination, destination + got);
    exchange.reads.push_back({capacity, got});
  }
  if (strayDue && got > 0 && line.toTool.empty() && line.peer->outbox().empty()) {
    for (std::uint8_t byte : line.strayAfterReply) {
      line.toTool.push_back({static_cast<double>(line.nowUs), byte});
    }
    strayDue = false;
  }
  return true;
}

void PurgeComPort(PortHandle) {
  ++line.purges;
  line.calls += 'P';
  Pump();
  while (!line.toTool.empty() && line.toTool.front().atUs <= static_cast<double>(line.nowUs)) {
    line.toTool.pop_front();
  }
}

void DiscardComPortOutput(PortHandle) {
  line.calls += 'D';
}

void SleepMs(std::uint32_t milliseconds) {
  line.sleptMs += milliseconds;
  line.nowUs += static_cast<std::uint64_t>(milliseconds) * 1000u;
  CheckLimit();
}

std::uint64_t NowUs() {
  return line.nowUs;
}

void PrepareConsole() {}

void Say(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  line.console += text;
}

void PromptAndWait() {
  Say("Press ENTER to continue\r\n");
  ++line.prompts;
}
