#include "tool/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/serial_port.h"
#include "tool/console.h"
#include "tool/handshake.h"
#include "tool/interrupt.h"
#include "tool/options.h"
#include "tool/port_list.h"
#include "tool/run_state.h"
#include "tool/trace.h"
#include "tool/transfer.h"

namespace {

constexpr std::uint32_t kBaudRate = 115200;

// At most three characters, read as atoi would; 0 and anything above 255 are refused, and a
// negative number gets through (it then names no port and fails to open).
bool ParsePortNumber(const char* text, std::int32_t* portNumber) {
  if (std::strlen(text) > 3) {
    return false;
  }
  *portNumber = static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
  return *portNumber != 0 && *portNumber <= 255;
}

}  // namespace

int RunTool(int argc, char* argv[]) {
  MarkProgramStart();
  PrepareConsole();
  PrepareInterrupts();
  RunState state;

  Options options;
  if (!ReadOptions(argc, argv, options)) {
    return -1;
  }
  switch (options.query) {
    case Query::kList:
      ListSerialPorts();
      return 0;
    case Query::kVersion:
      Say("verlrock %s\n", VERLROCK_VERSION);
      return 0;
    case Query::kHelp:
      PrintHelp();
      return 0;
    case Query::kNone:
      break;
  }
  // From here on the arguments are read as they always were, counted from the port number.
  argc -= options.portArg - 1;
  argv += options.portArg - 1;

  if (argc < 3) {
    // The wording, the two spellings of the name and the arguments it names but never reads
    // are the system's own, kept on purpose: scripts may match these lines.
    Say("Too few args passed to utility\n");
    Say("Usage:  Verlrock.exe <Com Port #> <output file name> [start offset (optional)] "
        "[segment length(optional)]\r\n");
    Say("Example Verrock.exe 1 outfile.bin 0 4096\r\n");
    return -1;
  }
  if (!ParsePortNumber(argv[1], &state.portNumber)) {
    Say("Com port number is invalid\n");
    SleepMs(2000);
    return -1;
  }
  state.readMode = argc == 4 && std::strstr(argv[3], "read") != nullptr;
  state.verify = options.verify;
  std::snprintf(state.comPort, sizeof state.comPort, "%s%d", state.ComStr,
                static_cast<int>(state.portNumber));

  const char* fileName = argv[2];
  if (options.traceFile != nullptr && !StartTrace(options.traceFile, fileName)) {
    Say("Can't create trace file %s\r\n", options.traceFile);
    return -1;
  }

  if (TracedOpenComPort(kBaudRate, state.comPort) < 0) {
    // A second line after the port's own is the system's own, kept on purpose.
    Say("Couldn't open serial port %s\n", state.comPort);
    SleepMs(2000);
    return -1;
  }

  const Sync sync = QuietHandshake(state);
  int status = 0;
  if (sync == Sync::kNoAnswer) {
    Say("No answer from unit\r\n");
    status = 1;
  } else if (sync == Sync::kWriteFailed) {
    status = 1;
  } else {
    const Outcome outcome =
        state.readMode ? ReadRegion(state, fileName) : WriteRegion(state, fileName);
    if (outcome == Outcome::kFileError) {
      return -1;
    }
    if (outcome == Outcome::kFailed) {
      status = 1;
    }
  }
  PromptAndWait();
  return status;
}
