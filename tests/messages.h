// The tool's messages as the tests expect them, line endings included. Every message a test
// expects is spelled here, once.
#pragma once

#include <string>

inline const std::string kPrompt = "Press ENTER to continue\r\n";
inline const std::string kCrc = "Input data CRC error\r\n";
inline const std::string kTimeout = "Unit response timeout\r\n";
inline const std::string kReadError = "COM Port read error\r\n";
inline const std::string kWriteError = "COM Port write error\r\n";
inline const std::string kNoAnswer = "No answer from unit\r\n";
inline const std::string kUsage =
    "Too few args passed to utility\n"
    "Usage:  Verlrock.exe <Com Port #> <output file name> [start offset (optional)] "
    "[segment length(optional)]\r\n"
    "Example Verrock.exe 1 outfile.bin 0 4096\r\n";
inline const std::string kInvalidPort = "Com port number is invalid\n";

inline std::string Remain(int bytes) {
  return std::to_string(bytes) + " bytes remain\r";
}

// The two progress lines of a transfer in which every segment went through.
inline const std::string kProgress = Remain(7728) + Remain(2928);

inline std::string TransferFailed(const std::string& file) {
  return "Transfer failed; " + file + " was not changed\r\n";
}
inline std::string CantCreate(const std::string& file) {
  return "Can't create data file " + file + "\r\n";
}
inline std::string CantOpen(const std::string& file) {
  return "Can't open data file " + file + "\r\n";
}
inline std::string TooShort(const std::string& file) {
  return "Data file " + file + " holds fewer than 12288 bytes\r\n";
}

// The port's own line, then the run's; `error` as printed ("N" where a test masks it).
inline std::string CantOpenPort(const std::string& path, const std::string& error) {
  return "Can't open COM Port " + path + " - Error: " + error + "\n";
}
inline std::string PortFailed(const std::string& path, const std::string& error) {
  return CantOpenPort(path, error) + "Couldn't open serial port " + path + "\n";
}
