#include "link/packet.h"

const std::uint8_t Quiet[12] = {0x55, 0x55, 0x53, 0x46, 0x05, 0x01,
                                0x00, 0x01, 0x00, 0x00, 0x40, 0x81};
const std::uint8_t QuietResp[10] = {0x55, 0x55, 0x53, 0x46, 0x03, 0x01, 0x00, 0x01, 0xEF, 0x6A};

namespace {

constexpr std::uint16_t kCrcInit = 0x1D0F;
constexpr std::uint16_t kCrcPoly = 0x1021;

void PutHeader(std::uint8_t* packet, char typeA, char typeB, std::int32_t length,
               std::int32_t wordAddress, std::int32_t segLen) {
  packet[0] = 0x55;
  packet[1] = 0x55;
  packet[2] = static_cast<std::uint8_t>(typeA);
  packet[3] = static_cast<std::uint8_t>(typeB);
  packet[4] = static_cast<std::uint8_t>(length);
  packet[5] = static_cast<std::uint8_t>((wordAddress >> 8) & 0xFF);
  packet[6] = static_cast<std::uint8_t>(wordAddress & 0xFF);
  packet[7] = static_cast<std::uint8_t>(segLen / 2);
}

// The CRC covers everything from the type letters up to the CRC itself.
void PutCrc(std::uint8_t* packet, std::int32_t crcOffset) {
  const std::uint16_t crc = CalcCrc16(packet + 2, crcOffset - 2);
  packet[crcOffset] = static_cast<std::uint8_t>(crc >> 8);
  packet[crcOffset + 1] = static_cast<std::uint8_t>(crc & 0xFF);
}

}  // namespace

std::uint16_t Crc16Update(std::uint16_t value, std::uint8_t byte) {
  value = static_cast<std::uint16_t>(value ^ (byte << 8));
  for (int bit = 0; bit < 8; ++bit) {
    if (value & 0x8000) {
      value = static_cast<std::uint16_t>((value << 1) ^ kCrcPoly);
    } else {
      value = static_cast<std::uint16_t>(value << 1);
    }
  }
  return value;
}

std::uint16_t CalcCrc16(const std::uint8_t* bytes, std::int32_t count) {
  std::uint16_t value = kCrcInit;
  for (std::int32_t i = 0; i < count; ++i) {
    value = Crc16Update(value, bytes[i]);
  }
  return value;
}

void BuildReadRequest(std::uint8_t* request, std::int32_t wordAddress, std::int32_t segLen) {
  PutHeader(request, 'R', 'C', 3, wordAddress, segLen);
  PutCrc(request, kDataOffset);
}

void BuildWriteRequest(std::uint8_t* requestW, std::int32_t wordAddress, std::int32_t segLen) {
  PutHeader(requestW, 'W', 'C', segLen + 3, wordAddress, segLen);
  PutCrc(requestW, kDataOffset + segLen);
}

bool CheckResponse(const std::uint8_t* answer, std::int32_t dataLen) {
  const std::uint16_t carried = static_cast<std::uint16_t>((answer[kDataOffset + dataLen] << 8) |
                                                           answer[kDataOffset + dataLen + 1]);
  return carried == CalcCrc16(answer + 2, kDataOffset + dataLen - 2);
}
