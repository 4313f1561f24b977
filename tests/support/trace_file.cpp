#include "tests/support/trace_file.h"

#include <fstream>
#include <sstream>

std::vector<std::string> TraceLines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) {
    words.push_back(word);
  }
  return words;
}

std::vector<std::uint8_t> HexBytes(const std::vector<std::string>& words, std::size_t from) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = from; i < words.size(); ++i) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(words[i], nullptr, 16)));
  }
  return bytes;
}
