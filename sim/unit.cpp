#include "sim/unit.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "link/packet.h"
#include "sim/line_facts.h"

namespace {

const std::uint8_t kNoise[] = {0x00, 0x13, 0xA5, 0x0D, 0x11, 0x0A, 0xFF};

std::vector<std::uint8_t> Noise(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = kNoise[i % sizeof kNoise];
  }
  return bytes;
}

// Bytes between the starts of two neighbouring segments.
constexpr std::size_t kSegmentStep = PlannedSegmentAt(1).wordAddress * 2;

std::int32_t ParamOr(const FaultRule* rule, std::int32_t fallback) {
  return rule->param >= 0 ? rule->param : fallback;
}

}  // namespace

Region PatternRegion() {
  Region region;
  std::uint32_t state = 0x2545F491u;
  for (auto& byte : region) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  const std::uint8_t awkward[] = {0x00, 0x0A, 0x0D, 0x11, 0x13, 0x55, 0x55, 0x0D, 0x0A};
  for (std::size_t at = 0; at + sizeof awkward <= region.size(); at += 200) {
    std::memcpy(region.data() + at, awkward, sizeof awkward);
  }
  return region;
}

std::vector<std::uint8_t> MakeFrame(const char* type, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> frame = {0x55, 0x55, static_cast<std::uint8_t>(type[0]),
                                     static_cast<std::uint8_t>(type[1]),
                                     static_cast<std::uint8_t>(payload.size())};
  frame.insert(frame.end(), payload.begin(), payload.end());
  const std::uint16_t crc =
      CalcCrc16(frame.data() + 2, static_cast<std::int32_t>(frame.size() - 2));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  return frame;
}

bool InSegmentPlan(std::int32_t wordAddress, std::int32_t words) {
  for (std::int32_t index = 0; index < kPlanSegments; ++index) {
    const PlannedSegment segment = PlannedSegmentAt(index);
    if (segment.wordAddress == wordAddress) {
      return segment.words == words;
    }
  }
  return false;
}

Unit::Unit(const Region& region, FaultPlan plan) : region_(region), plan_(std::move(plan)) {}

void Unit::Fault(const std::string& what) {
  faults_.push_back(what);
}

void Unit::LineOpened(std::uint64_t atUs) {
  if (plan_.noiseAtStart > 0) {
    outbox_.push_back({atUs, Noise(static_cast<std::size_t>(plan_.noiseAtStart))});
  }
}

void Unit::Take(const std::uint8_t* data, std::size_t length, std::uint64_t atUs) {
  if (hangupAtUs_ != kNever) {
    return;
  }
  pending_.insert(pending_.end(), data, data + length);
  std::size_t start = 0;
  while (start < pending_.size()) {
    const std::uint8_t* p = pending_.data() + start;
    const std::size_t left = pending_.size() - start;
    if (p[0] != 0x55 || (left >= 2 && p[1] != 0x55)) {
      if (!inStray_) {
        Fault("bytes outside a frame");
        inStray_ = true;
      }
      ++start;
      continue;
    }
    if (left < 5 || left < static_cast<std::size_t>(p[4]) + kFrameOverhead) {
      break;
    }
    inStray_ = false;
    const std::size_t frameLength = p[4] + kFrameOverhead;
    HandleFrame(p, frameLength, atUs);
    start += frameLength;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
}

void Unit::HandleFrame(const std::uint8_t* frame, std::size_t length, std::uint64_t atUs) {
  const std::int32_t n = frame[4];
  const std::uint16_t crc =
      static_cast<std::uint16_t>((frame[length - 2] << 8) | frame[length - 1]);
  const std::string type(reinterpret_cast<const char*>(frame + 2), 2);
  RequestRecord record{type, 0, 0, atUs};
  if (crc != CalcCrc16(frame + 2, n + 3)) {
    requests_.push_back(record);
    Fault(type + " request with a wrong CRC");
    return;
  }
  if (type == "SF") {
    requests_.push_back(record);
    if (length != sizeof Quiet || std::memcmp(frame, Quiet, sizeof Quiet) != 0) {
      Fault("malformed SF frame");
      return;
    }
    ++quietCount_;
    if (quietCount_ < plan_.quietFrom) {
      return;
    }
    std::vector<std::uint8_t> answer;
    if (quietCount_ - plan_.quietFrom < plan_.noiseBeforeAnswer) {
      answer = Noise(3);
    }
    answer.insert(answer.end(), QuietResp, QuietResp + sizeof QuietResp);
    if (quietCount_ - plan_.quietFrom < plan_.extraAfterAnswer) {
      answer.push_back(0x00);
    }
    outbox_.push_back({atUs, std::move(answer)});
    return;
  }
  if (type != "RC" && type != "WC") {
    requests_.push_back(record);
    Fault("unknown frame type " + type);
    return;
  }
  record.wordAddress = (frame[5] << 8) | frame[6];
  record.words = frame[7];
  requests_.push_back(record);
  const std::int32_t request = ++transferRequests_;
  const std::int32_t expectedN = type == "RC" ? 3 : record.words * 2 + 3;
  if (n != expectedN) {
    Fault(type + " request with length " + std::to_string(n));
    return;
  }
  if (!InSegmentPlan(record.wordAddress, record.words)) {
    Fault(type + " request outside the segment plan: address " +
          std::to_string(record.wordAddress) + ", " + std::to_string(record.words) + " words");
    return;
  }
  if (plan_.Find(FaultKind::kHangup, request)) {
    hangupAtUs_ = atUs;
    return;
  }
  const std::size_t offset = static_cast<std::size_t>(record.wordAddress) * 2;
  const std::size_t bytes = static_cast<std::size_t>(record.words) * 2;
  std::vector<std::uint8_t> payload = {frame[5], frame[6], frame[7]};
  if (type == "RC") {
    std::size_t from = offset;
    if (plan_.Find(FaultKind::kStale, request)) {
      from = offset >= kSegmentStep ? offset - kSegmentStep : offset + kSegmentStep;
    }
    payload.insert(payload.end(), region_.begin() + static_cast<std::ptrdiff_t>(from),
                   region_.begin() + static_cast<std::ptrdiff_t>(from + bytes));
  } else if (!plan_.Find(FaultKind::kNoStore, request)) {
    std::memcpy(region_.data() + offset, frame + 8, bytes);
  }
  const char* answerType = type.c_str();
  if (plan_.Find(FaultKind::kGarble, request)) {
    answerType = "zq";
    payload[0] ^= 0xA5;
    payload[1] ^= 0x5A;
    payload[2] ^= 0xFF;
  }
  std::vector<std::uint8_t> answer = MakeFrame(answerType, payload);
  if (plan_.Find(FaultKind::kGarble, request)) {
    answer[0] = 0x00;
    answer[4] ^= 0x81;
    const std::uint16_t answerCrc =
        CalcCrc16(answer.data() + 2, static_cast<std::int32_t>(answer.size() - 4));
    answer[answer.size() - 2] = static_cast<std::uint8_t>(answerCrc >> 8);
    answer[answer.size() - 1] = static_cast<std::uint8_t>(answerCrc & 0xFF);
  }
  Answer(std::move(answer), request, atUs);
}

void Unit::Answer(std::vector<std::uint8_t> packet, std::int32_t request, std::uint64_t atUs) {
  if (plan_.Find(FaultKind::kDrop, request)) {
    return;
  }
  if (plan_.Find(FaultKind::kBadCrc, request)) {
    packet.back() ^= 0x01;
  }
  if (plan_.Find(FaultKind::kFlipData, request)) {
    packet[packet.size() - 3] ^= 0x40;
  }
  if (const FaultRule* rule = plan_.Find(FaultKind::kTruncate, request)) {
    const std::size_t cut =
        static_cast<std::size_t>(ParamOr(rule, static_cast<std::int32_t>(packet.size() / 2)));
    packet.resize(cut < packet.size() ? packet.size() - cut : 0);
  }
  if (const FaultRule* rule = plan_.Find(FaultKind::kExtra, request)) {
    const std::vector<std::uint8_t> extra = Noise(static_cast<std::size_t>(ParamOr(rule, 1)));
    packet.insert(packet.end(), extra.begin(), extra.end());
  }
  if (const FaultRule* rule = plan_.Find(FaultKind::kPrefix, request)) {
    const std::vector<std::uint8_t> prefix = Noise(static_cast<std::size_t>(ParamOr(rule, 1)));
    packet.insert(packet.begin(), prefix.begin(), prefix.end());
  }
  if (const FaultRule* rule = plan_.Find(FaultKind::kDelay, request)) {
    atUs += static_cast<std::uint64_t>(ParamOr(rule, 0)) * 1000;
  }
  if (const FaultRule* rule = plan_.Find(FaultKind::kSplit, request)) {
    const std::size_t half = packet.size() / 2;
    outbox_.push_back(
        {atUs, std::vector<std::uint8_t>(packet.begin(),
                                         packet.begin() + static_cast<std::ptrdiff_t>(half))});
    outbox_.push_back({atUs + static_cast<std::uint64_t>(ParamOr(rule, 150)) * 1000,
                       std::vector<std::uint8_t>(packet.begin() + static_cast<std::ptrdiff_t>(half),
                                                 packet.end())});
    return;
  }
  if (const FaultRule* rule = plan_.Find(FaultKind::kBytewise, request)) {
    const std::uint64_t gapUs = static_cast<std::uint64_t>(ParamOr(rule, 2)) * 1000;
    for (std::size_t i = 0; i < packet.size(); ++i) {
      outbox_.push_back({atUs + i * gapUs, {packet[i]}});
    }
    return;
  }
  outbox_.push_back({atUs, std::move(packet)});
}
