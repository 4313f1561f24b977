#include "sim/line_record.h"

void LineRecord::Sent(std::uint64_t atUs, const std::uint8_t* data, std::size_t length) {
  Hex(atUs, "<", data, length);
}

void LineRecord::Received(std::uint64_t atUs, const std::uint8_t* data, std::size_t length) {
  Hex(atUs, ">", data, length);
}

void LineRecord::Hex(std::uint64_t atUs, const char* direction, const std::uint8_t* data,
                     std::size_t length) {
  if (transcript_ == nullptr) {
    return;
  }
  std::fprintf(transcript_, "%10.3f %s", static_cast<double>(atUs) / 1000.0, direction);
  for (std::size_t i = 0; i < length; ++i) {
    std::fprintf(transcript_, " %02X", data[i]);
  }
  std::fputc('\n', transcript_);
  std::fflush(transcript_);
}

void LineRecord::CatchUp(const Unit& unit) {
  if (log_ == nullptr) {
    return;
  }
  for (; requestsLogged_ < unit.requests().size(); ++requestsLogged_) {
    const RequestRecord& record = unit.requests()[requestsLogged_];
    if (record.type == "RC" || record.type == "WC") {
      std::fprintf(log_, "%s %d %d\n", record.type.c_str(), record.wordAddress, record.words);
    } else {
      std::fprintf(log_, "%s\n", record.type.c_str());
    }
  }
  for (; faultsLogged_ < unit.faults().size(); ++faultsLogged_) {
    std::fprintf(log_, "FAULT %s\n", unit.faults()[faultsLogged_].c_str());
  }
  std::fflush(log_);
}

void LineRecord::HungUp() {
  if (log_ != nullptr) {
    std::fprintf(log_, "HANGUP\n");
    std::fflush(log_);
  }
}
