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

// The long options.
inline const std::string kVersionLine = std::string("verlrock ") + VERLROCK_VERSION + "\n";
inline const std::string kMisplaced = "Options go before the port number\r\n";
inline const std::string kTraceNeedsName = "Option --trace needs a file name\r\n";
inline std::string UnknownOption(const std::string& option) {
  return "Unknown option " + option + "\r\n";
}
inline std::string StandsAlone(const std::string& option) {
  return "Option " + option + " stands alone\r\n";
}
inline std::string CantCreateTrace(const std::string& file) {
  return "Can't create trace file " + file + "\r\n";
}
inline const std::string kNoPorts = "No serial ports found\r\n";
inline const std::string kVerifying = "Verifying\r\n";
inline const std::string kVerified = "Verified\r\n";
inline std::string VerifyFailed(int differ, int first) {
  return "Verify failed: " + std::to_string(differ) + " bytes differ, the first at offset " +
         std::to_string(first) + "\r\n";
}
inline std::string CantWrite(const std::string& file) {
  return "Can't write data file " + file + "\r\n";
}
