#pragma once

// The whole run, from the command line to the exit status:
//   0  the job was done;
//   1  the run reached the prompt but the job was not done;
//  -1  bad arguments, a port that would not open, or a refused data file ended it before the
//      prompt.
int RunTool(int argc, char* argv[]);
