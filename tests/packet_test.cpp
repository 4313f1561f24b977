#include "link/packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Crc16, KnownValues) {
  EXPECT_EQ(CalcCrc16(nullptr, 0), 0x1D0F);
  EXPECT_EQ(CalcCrc16(nullptr, -3), 0x1D0F);
  const char* check = "123456789";
  EXPECT_EQ(CalcCrc16(reinterpret_cast<const std::uint8_t*>(check), 9), 0xE5CC);
}

TEST(Crc16, FixedQuietPacketsCarryTheirOwnCrc) {
  EXPECT_EQ(CalcCrc16(Quiet + 2, 8), (Quiet[10] << 8) | Quiet[11]);
  EXPECT_EQ(CalcCrc16(QuietResp + 2, 6), (QuietResp[8] << 8) | QuietResp[9]);
  EXPECT_TRUE(CheckResponse(QuietResp, 0));
}

struct ReadRequestCase {
  std::int32_t wordAddress;
  std::int32_t segLen;
  Bytes expected;
};

TEST(ReadRequest, MatchesTheUnitsByteStrings) {
  const ReadRequestCase cases[] = {
      {0, 240, {0x55, 0x55, 0x52, 0x43, 0x03, 0x00, 0x00, 0x78, 0x51, 0x13}},
      {120, 240, {0x55, 0x55, 0x52, 0x43, 0x03, 0x00, 0x78, 0x78, 0xD0, 0xE3}},
      {6120, 48, {0x55, 0x55, 0x52, 0x43, 0x03, 0x17, 0xE8, 0x18, 0x62, 0x5D}},
  };
  for (const auto& c : cases) {
    std::uint8_t request[100];
    std::memset(request, 0xEE, sizeof request);
    BuildReadRequest(request, c.wordAddress, c.segLen);
    EXPECT_EQ(Bytes(request, request + 10), c.expected) << "word address " << c.wordAddress;
    EXPECT_EQ(request[10], 0xEE) << "wrote past the request";
  }
}

TEST(WriteRequest, FramesTheDataWithLengthAndCrc) {
  const struct {
    std::int32_t wordAddress;
    std::int32_t segLen;
    std::uint8_t lengthByte;
  } cases[] = {{0, 240, 243}, {6000, 240, 243}, {6120, 48, 51}};
  for (const auto& c : cases) {
    std::uint8_t requestW[1000];
    std::memset(requestW, 0xEE, sizeof requestW);
    for (int i = 0; i < c.segLen; ++i) {
      requestW[8 + i] = static_cast<std::uint8_t>(i * 3 + 0x55);
    }
    BuildWriteRequest(requestW, c.wordAddress, c.segLen);
    const int total = c.segLen + 10;
    EXPECT_EQ(requestW[0], 0x55);
    EXPECT_EQ(requestW[1], 0x55);
    EXPECT_EQ(requestW[2], 'W');
    EXPECT_EQ(requestW[3], 'C');
    EXPECT_EQ(requestW[4], c.lengthByte);
    EXPECT_EQ(requestW[4] + 7, total);
    EXPECT_EQ(requestW[5], c.wordAddress >> 8);
    EXPECT_EQ(requestW[6], c.wordAddress & 0xFF);
    EXPECT_EQ(requestW[7], c.segLen / 2);
    EXPECT_EQ(requestW[8 + c.segLen - 1], static_cast<std::uint8_t>((c.segLen - 1) * 3 + 0x55))
        << "data overwritten";
    EXPECT_EQ(CalcCrc16(requestW + 2, total - 4), (requestW[total - 2] << 8) | requestW[total - 1]);
    EXPECT_EQ(requestW[total], 0xEE) << "wrote past the request";
  }
}

// A response with `dataLen` data bytes, its CRC right.
Bytes Response(std::int32_t dataLen, std::uint8_t fill) {
  Bytes packet(static_cast<std::size_t>(dataLen) + 10, fill);
  const std::uint16_t crc = CalcCrc16(packet.data() + 2, dataLen + 6);
  packet[dataLen + 8] = static_cast<std::uint8_t>(crc >> 8);
  packet[dataLen + 9] = static_cast<std::uint8_t>(crc & 0xFF);
  return packet;
}

TEST(ResponseCheck, AcceptsOnCrcAloneWhateverTheHeaderHolds) {
  // Preamble, type letters, length and header bytes all nonsense: only the CRC counts.
  for (std::int32_t dataLen : {0, 48, 240}) {
    EXPECT_TRUE(CheckResponse(Response(dataLen, 0x00).data(), dataLen));
    EXPECT_TRUE(CheckResponse(Response(dataLen, 0xA7).data(), dataLen));
  }
}

TEST(ResponseCheck, RejectsAnySingleFlippedBitOfTheCheckedRange) {
  for (std::int32_t dataLen : {0, 48}) {
    const Bytes good = Response(dataLen, 0x3C);
    for (std::size_t byte = 2; byte < good.size(); ++byte) {
      for (int bit = 0; bit < 8; ++bit) {
        Bytes bad = good;
        bad[byte] ^= static_cast<std::uint8_t>(1 << bit);
        EXPECT_FALSE(CheckResponse(bad.data(), dataLen)) << "byte " << byte << " bit " << bit;
      }
    }
    Bytes preamble = good;
    preamble[0] ^= 0xFF;  // the preamble is outside the CRC
    EXPECT_TRUE(CheckResponse(preamble.data(), dataLen));
  }
}

}  // namespace
