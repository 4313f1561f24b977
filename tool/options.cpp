#include "tool/options.h"

#include <cstring>

#include "tool/console.h"

namespace {

bool IsOption(const char* arg) {
  return std::strncmp(arg, "--", 2) == 0;
}

const struct {
  const char* name;
  Query query;
} kQueries[] = {
    {"--list", Query::kList},
    {"--version", Query::kVersion},
    {"--help", Query::kHelp},
};

}  // namespace

bool ReadOptions(int argc, char* argv[], Options& options) {
  const char* alone = nullptr;
  int at = 1;
  for (; at < argc && IsOption(argv[at]); ++at) {
    const char* arg = argv[at];
    if (std::strcmp(arg, "--verify") == 0) {
      options.verify = true;
      continue;
    }
    if (std::strcmp(arg, "--trace") == 0) {
      // A value that looks like an option is more likely a forgotten name than a file.
      if (at + 1 == argc || argv[at + 1][0] == '\0' || IsOption(argv[at + 1])) {
        Say("Option --trace needs a file name\r\n");
        return false;
      }
      options.traceFile = argv[++at];
      continue;
    }
    bool known = false;
    for (const auto& query : kQueries) {
      if (std::strcmp(arg, query.name) == 0) {
        known = true;
        if (alone == nullptr) {
          alone = query.name;
          options.query = query.query;
        }
      }
    }
    if (!known) {
      Say("Unknown option %s\r\n", arg);
      return false;
    }
  }
  if (alone != nullptr && argc != 2) {
    Say("Option %s stands alone\r\n", alone);
    return false;
  }
  options.portArg = at;
  // After the port number, an option would be taken for a file name or, worse, a mode word
  // that turns a read into a write.
  for (int later = at + 1; later < argc; ++later) {
    if (IsOption(argv[later])) {
      Say("Options go before the port number\r\n");
      return false;
    }
  }
  return true;
}

void PrintHelp() {
  const char* const lines[] = {
      "Usage:  verlrock [options] <Com Port #> <file> [read]\r\n",
      "  verlrock 3 dump.bin read   reads the unit's 12288-byte region into dump.bin\r\n",
      "  verlrock 3 image.bin       writes the first 12288 bytes of image.bin to the unit\r\n",
      "Options, all before the port number:\r\n",
      "  --verify      after a write, read the region back and compare it; in a read,\r\n",
      "                read it twice and write the file only when both agree\r\n",
      "  --trace FILE  record every operation on the port in FILE\r\n",
      "  --list        list the serial ports, without opening any\r\n",
      "  --version     print the version\r\n",
      "  --help        print this text\r\n",
      "--list, --version and --help stand alone.\r\n",
  };
  for (const char* line : lines) {
    Say("%s", line);
  }
}
