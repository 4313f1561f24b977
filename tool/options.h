// The long options, which come before the port number. A build that knows none of them takes
// the first for an invalid port number, or prints its usage when it stands alone: either way it
// sends nothing, so a script written for a newer build cannot make an older one do something
// else.
#pragma once

enum class Query {
  kNone,  // a transfer
  kList,
  kVersion,
  kHelp,
};

struct Options {
  bool verify = false;
  const char* traceFile = nullptr;
  Query query = Query::kNone;
  int portArg = 1;  // where the port number stands in argv
};

// Reads the options at the front of `argv` and checks that none stands after the port number.
// False once it has printed why the command line was refused.
bool ReadOptions(int argc, char* argv[], Options& options);

// The usage with every option, for --help.
void PrintHelp();
