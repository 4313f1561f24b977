// The tool's messages as the tests expect them, line endings included.
#pragma once

#include <string>

inline const std::string kPrompt = "Press ENTER to continue\r\n";
inline const std::string kProgress = "7728 bytes remain\r2928 bytes remain\r";
inline const std::string kCrc = "Input data CRC error\r\n";
inline const std::string kTimeout = "Unit response timeout\r\n";
inline const std::string kUsage =
    "Too few args passed to utility\n"
    "Usage:  Verlrock.exe <Com Port #> <output file name> [start offset (optional)] "
    "[segment length(optional)]\r\n"
    "Example Verrock.exe 1 outfile.bin 0 4096\r\n";
inline const std::string kInvalidPort = "Com port number is invalid\n";

inline std::string TransferFailed(const std::string& file) {
  return "Transfer failed; " + file + " was not changed\r\n";
}
