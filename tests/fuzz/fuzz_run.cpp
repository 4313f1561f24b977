// libFuzzer: whole runs of the tool on the fake line, the fuzzer's bytes deciding what the
// unit sends, in which pieces and when. Every input checks that the run ends within the sum
// of its budgets, that a read replaces the data file only when all 52 segments passed their
// check (and then holds exactly what those responses carried), and that a write sends the
// 52 segments of the plan once each, in order.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/packet.h"
#include "sim/line_facts.h"
#include "sim/unit.h"
#include "tests/fake/fake_line.h"
#include "tests/support/temp_folder.h"
#include "tool/run.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class Script {
 public:
  Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  // The next byte, or `fallback` once the input is used up.
  std::uint8_t Next(std::uint8_t fallback = 0) { return at_ < size_ ? data_[at_++] : fallback; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// A right unit whose every reply the script may delay, cut up, drop, damage or hang up on.
class ScriptedUnit : public Peer {
 public:
  explicit ScriptedUnit(Script& script) : unit_(PatternRegion(), {}), script_(script) {}

  void Take(const std::uint8_t* data, std::size_t length, std::uint64_t atUs) override {
    const std::size_t before = unit_.requests().size();
    unit_.Take(data, length, atUs);
    Bytes reply;
    for (const Emission& emission : unit_.outbox()) {
      reply.insert(reply.end(), emission.bytes.begin(), emission.bytes.end());
    }
    unit_.outbox().clear();
    if (unit_.requests().size() == before || hangupAtUs_ != kNever) {
      return;
    }
    if (unit_.requests().back().type == "SF") {
      Quiet(std::move(reply), atUs);
    } else {
      Transfer(std::move(reply), atUs);
    }
  }
  void LineOpened(std::uint64_t atUs) override {
    if (script_.Next() % 4 == 1) {
      outbox_.push_back({atUs, {0x55, 0x00, 0x13}});
    }
  }
  std::deque<Emission>& outbox() override { return outbox_; }
  std::uint64_t hangupAtUs() const override { return hangupAtUs_; }
  const Unit& unit() const { return unit_; }

 private:
  void Quiet(Bytes reply, std::uint64_t atUs) {
    switch (script_.Next() % 5) {
      case 1:
        return;  // ignored
      case 2:
        reply.insert(reply.begin(), script_.Next());
        break;
      case 3:
        atUs += script_.Next() * 100u;
        break;
      case 4:
        Pieces(reply, atUs);
        return;
    }
    outbox_.push_back({atUs, std::move(reply)});
  }

  void Transfer(Bytes reply, std::uint64_t atUs) {
    switch (script_.Next() % 10) {
      case 1:  // late, up to 6.4 s: across both directions' bounds
        atUs += script_.Next() * 25000u;
        break;
      case 2:
        Pieces(reply, atUs);
        return;
      case 3:
        return;  // dropped
      case 4: {
        const std::size_t at = script_.Next() % reply.size();
        reply[at] ^= static_cast<std::uint8_t>(1u << (script_.Next() % 8));
        break;
      }
      case 5:
        for (int n = 1 + script_.Next() % 3; n > 0; --n) {
          reply.push_back(script_.Next());
        }
        break;
      case 6:
        reply.resize(script_.Next() % reply.size());
        break;
      case 7:
        hangupAtUs_ = atUs + script_.Next() * 10000u;
        break;
      case 8:
        reply.insert(reply.begin(), script_.Next());
        break;
    }
    outbox_.push_back({atUs, std::move(reply)});
  }

  // The reply in up to four pieces with gaps of up to 510 ms.
  void Pieces(const Bytes& reply, std::uint64_t atUs) {
    std::size_t from = 0;
    for (int piece = 1 + script_.Next() % 4; piece > 0 && from < reply.size(); --piece) {
      const std::size_t to =
          piece == 1 ? reply.size() : from + 1 + script_.Next() % (reply.size() - from);
      outbox_.push_back({atUs, Bytes(reply.begin() + static_cast<std::ptrdiff_t>(from),
                                     reply.begin() + static_cast<std::ptrdiff_t>(to))});
      from = to;
      atUs += script_.Next() * 2000u;
    }
  }

  Unit unit_;
  Script& script_;
  std::deque<Emission> outbox_;
  std::uint64_t hangupAtUs_ = kNever;
};

[[noreturn]] void Fail(const char* what, const std::uint8_t* data, std::size_t size) {
  std::fprintf(stderr, "property failed: %s\ninput (%zu bytes):", what, size);
  for (std::size_t i = 0; i < size; ++i) {
    std::fprintf(stderr, "%s%02x", i % 32 ? " " : "\n", data[i]);
  }
  std::fprintf(stderr, "\n");
  std::abort();
}

std::int32_t SegmentBytes(std::int32_t segment) {
  return PlannedSegmentAt(segment).bytes();
}

// The longest a run can take: the handshake's attempts, then per segment every try, each at
// most its empty-poll budget plus one poll for each byte it may gather.
std::uint64_t BoundUs(bool read) {
  std::uint64_t bound = 999u * 11000u + 10000u;
  for (std::int32_t segment = 0; segment < kPlanSegments; ++segment) {
    if (read) {
      bound += 3u * (50u + static_cast<std::uint64_t>(SegmentBytes(segment)) + 10u) * 101000u;
    } else {
      bound += (500u + 1000u) * 11000u;
    }
  }
  return bound;
}

bool PassesCheck(const Bytes& delivered, std::int32_t dataLen) {
  return delivered.size() == static_cast<std::size_t>(dataLen + kPacketBytes) &&
         CheckResponse(delivered.data(), dataLen);
}

}  // namespace

namespace {

// The data file lives in a folder of its own, so that a temporary file left behind shows.
TempFolder* folder = nullptr;
std::string dataPath;

void RemoveFolder() {
  delete folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder = new TempFolder;
  dataPath = (folder->path() / "data.bin").string();
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Script script(data, size);
  const std::uint8_t mode = script.Next();
  const bool read = mode & 1;
  ScriptedUnit peer(script);
  ResetLine(&peer);

  const Bytes old = {'o', 'l', 'd'};
  const Region image = PatternRegion();
  Bytes fileBytes = read ? old : Bytes(image.rbegin(), image.rend());
  if (!read && (mode & 2)) {
    fileBytes.resize(script.Next() * 48u);  // short, maybe empty
  }
  WriteBytes(dataPath, fileBytes);
  char program[] = "verlrock";
  char port[] = "3";
  std::string file = dataPath;
  char word[] = "read";
  char* argv[] = {program, port, file.data(), read ? word : nullptr, nullptr};
  const int status = RunTool(read ? 4 : 3, argv);
  const FakeLine& line = Line();

  if (line.nowUs > BoundUs(read)) {
    Fail("the run took longer than its budgets allow", data, size);
  }
  if (!peer.unit().faults().empty()) {
    Fail(("the unit saw a faulty request: " + peer.unit().faults()[0]).c_str(), data, size);
  }
  bool synced = false;
  std::vector<const FakeLine::Exchange*> requests;
  for (const FakeLine::Exchange& exchange : line.exchanges) {
    if (exchange.sent.size() == sizeof Quiet) {
      synced = synced || (exchange.delivered.size() == sizeof QuietResp &&
                          std::memcmp(exchange.delivered.data(), QuietResp, 10) == 0);
    } else {
      requests.push_back(&exchange);
    }
  }
  if (!synced && (status != 1 || !requests.empty())) {
    Fail("a run without an answer to Quiet went on", data, size);
  }
  const Bytes after = ReadBytes(dataPath);

  if (read) {
    // Each segment's last request, and whether its response passed.
    Bytes expected;
    std::int32_t segment = -1;
    bool allPassed = true;
    for (std::size_t i = 0; i < requests.size(); ++i) {
      const std::int32_t address = (requests[i]->sent[5] << 8) | requests[i]->sent[6];
      const bool askedAgain = segment >= 0 && address == PlannedSegmentAt(segment).wordAddress;
      const bool nextOne =
          segment + 1 < kPlanSegments && address == PlannedSegmentAt(segment + 1).wordAddress;
      if (!askedAgain && !nextOne) {
        Fail("read requests out of the plan's order", data, size);
      }
      segment += nextOne ? 1 : 0;
      const bool last = i + 1 == requests.size() ||
                        ((requests[i + 1]->sent[5] << 8) | requests[i + 1]->sent[6]) != address;
      if (last) {
        const Bytes& got = requests[i]->delivered;
        if (!PassesCheck(got, SegmentBytes(segment))) {
          allPassed = false;
        } else {
          expected.insert(expected.end(), got.begin() + 8, got.end() - 2);
        }
      }
    }
    const bool complete =
        allPassed && segment == kPlanSegments - 1 && expected.size() == kUnitRegionBytes;
    if (complete != (status == 0) || (status != 0 && status != 1)) {
      Fail("exit status does not match the responses", data, size);
    }
    if (complete ? after != expected : after != old) {
      Fail(complete ? "the file is not what the responses carried"
                    : "a failed read changed the file",
           data, size);
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder->path())) {
      if (entry.path().filename() != "data.bin") {
        Fail("a temporary file was left behind", data, size);
      }
    }
  } else {
    if (fileBytes.size() < kUnitRegionBytes) {
      if (status != (synced ? -1 : 1) || !requests.empty()) {
        Fail("a short file was not refused before sending", data, size);
      }
      return 0;
    }
    bool allAcked = true;
    for (std::size_t i = 0; i < requests.size(); ++i) {
      const std::int32_t index = static_cast<std::int32_t>(i);
      if (index >= kPlanSegments) {
        Fail("more write requests than the plan has segments", data, size);
      }
      const PlannedSegment segment = PlannedSegmentAt(index);
      const std::int32_t segLen = segment.bytes();
      std::uint8_t want[250];
      std::memcpy(want + kDataOffset,
                  fileBytes.data() + static_cast<std::size_t>(segment.wordAddress) * 2,
                  static_cast<std::size_t>(segLen));
      BuildWriteRequest(want, segment.wordAddress, segLen);
      if (requests[i]->sent != Bytes(want, want + segLen + kPacketBytes)) {
        Fail("a write request other than the plan's next segment", data, size);
      }
      allAcked = allAcked && PassesCheck(requests[i]->delivered, 0);
    }
    const bool complete = allAcked && requests.size() == kPlanSegments;
    if (synced && complete != (status == 0)) {
      Fail("exit status does not match the acknowledgements", data, size);
    }
  }
  return 0;
}
