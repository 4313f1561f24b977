// The unit's frame: 0x55 0x55, two type letters, length N, N payload bytes, CRC-16 (high first)
// over type, length and payload. Pure functions on byte buffers; nothing here touches the port.
#pragma once

#include <cstdint>

constexpr int kFrameOverhead = 7;  // preamble, type, length and CRC around the payload
// Every packet of the transfer (read request and response, write request and acknowledgement)
// is its segment's data behind eight header bytes (preamble, type, length, word address, word
// count) and followed by the CRC: kPacketBytes more than the data, which start at kDataOffset.
constexpr int kDataOffset = 8;
constexpr int kPacketBytes = 10;

// The handshake's two packets are fixed strings, CRC included, never built or parsed.
extern const std::uint8_t Quiet[12];
extern const std::uint8_t QuietResp[10];

std::uint16_t Crc16Update(std::uint16_t value, std::uint8_t byte);
// CRC-16/AUG-CCITT; a count of 0 or less gives the initial value 0x1D0F.
std::uint16_t CalcCrc16(const std::uint8_t* bytes, std::int32_t count);

// Fills bytes 0 to 9 of `request` with the read request for `segLen` bytes at `wordAddress`.
void BuildReadRequest(std::uint8_t* request, std::int32_t wordAddress, std::int32_t segLen);

// Completes a write request whose `segLen` data bytes already stand from offset 8 of
// `requestW`: header in bytes 0 to 7, CRC behind the data. The packet is segLen + 10 bytes.
void BuildWriteRequest(std::uint8_t* requestW, std::int32_t wordAddress, std::int32_t segLen);

// A received packet of `dataLen` data bytes (0 for a write acknowledgement) standing from
// offset 0: true when its CRC matches. Nothing but the CRC is examined.
bool CheckResponse(const std::uint8_t* answer, std::int32_t dataLen);
