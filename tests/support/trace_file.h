// A --trace file read back, for the tests that judge it: its lines, a line's words, and the
// bytes a line carries in hex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

std::vector<std::string> TraceLines(const std::filesystem::path& path);

// The words of one line, split at spaces.
std::vector<std::string> Words(const std::string& line);

// The words from `from` on, each read as a byte in hex.
std::vector<std::uint8_t> HexBytes(const std::vector<std::string>& words, std::size_t from);
